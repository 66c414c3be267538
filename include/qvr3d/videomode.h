// QVRVideoMode and VideoMode: the display capabilities and the lists of
// full-screen modes.
#ifndef QVR3D_VIDEOMODE_H
#define QVR3D_VIDEOMODE_H

#include <cstdint>

#include "qvr3d/export.h"
#include "qvr3d/sdlmgr.h"

struct SDL_VideoInfo;

/// One video mode.
struct VideoMode {
  uint32_t width;
  uint32_t height;
  uint32_t bpp;  ///< bits per pixel
};

/// Mode queries; the lists are new arrays released by the caller with
/// delete[].
///
///   QVRVideoMode modes;
///   VideoMode* list;
///   int n = modes.QueryModes(&list, 0, 0);  // -1: any size, 0: none
///   delete[] list;
class QVR_API QVRVideoMode : public QVRSDLMgr {
 public:
  /// Holds SDL's video subsystem while it lives.
  QVRVideoMode();
  ~QVRVideoMode() override;

  /// SDL's description of the display (SDL_GetVideoInfo).
  const SDL_VideoInfo* VideoInfo() const;
  /// The modes SDL lists for `bpp` bits and the SDL video `flags`, in SDL's
  /// order, into *list (null when there are none). Returns the count, 0 when
  /// none, -1 when any size is allowed (no list). `list` may be null to
  /// count only.
  int GetModes(VideoMode** list, unsigned flags, unsigned bpp);
  /// Full-screen hardware modes (flags gain SDL_FULLSCREEN | SDL_HWSURFACE)
  /// of `bpp` bits as GetModes gives them, or with `bpp` 0 those of 8, 16, 24
  /// and 32 bits together, sorted by width, height and depth, largest first.
  /// -1 (no list, *list not set) when a depth allows any size.
  int QueryModes(VideoMode** list, unsigned flags, unsigned bpp);
};

#endif
