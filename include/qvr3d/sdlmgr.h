// QVRSDLMgr: the reference-counted start-up of SDL shared by every class that
// needs it (the screen, input, timer, video modes, the mixer, the OpenGL
// screen).
#ifndef QVR3D_SDLMGR_H
#define QVR3D_SDLMGR_H

#include <cstdint>

#include "qvr3d/export.h"

/// Derive from it and pass the SDL subsystem flags the class needs. The first
/// object initialises SDL (video is always part of that first start-up), later
/// ones add their subsystem, and the last one destroyed calls `SDL_Quit`.
///
///   class MyAudio : public QVRSDLMgr {
///    public: MyAudio() : QVRSDLMgr(0x10) {}  // SDL_INIT_AUDIO
///   };
class QVR_API QVRSDLMgr {
 public:
  /// Starts SDL or the missing subsystems. A failed `SDL_Init` logs "Can't
  /// initialize SDL (%s)\n" at ERR and ends the process with status 1; a failed
  /// subsystem logs "Can't initialize SDL subsystem (%s)\n" and goes on.
  explicit QVRSDLMgr(unsigned int flags);
  /// Releases one reference; the last one shuts SDL down. Destroying more
  /// objects than were made is fatal ("SDLMgr: instance == 0").
  virtual ~QVRSDLMgr();
  QVRSDLMgr(const QVRSDLMgr&) = delete;
  QVRSDLMgr& operator=(const QVRSDLMgr&) = delete;

  /// Number of live objects of any derived class.
  static uint32_t m_instances;
  /// The SDL initialisation flags started so far; 0 when SDL is down.
  static uint32_t m_sdlstate;
};

#endif
