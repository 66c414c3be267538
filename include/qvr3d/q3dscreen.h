// Q3DScreen: the process-wide OpenGL window opened through SDL, the two
// optional OpenGL extensions the library knows (ARB multitexture, compiled
// vertex arrays) as callable entry points, and numbered BMP screenshots of
// the front buffer.
#ifndef QVR3D_Q3DSCREEN_H
#define QVR3D_Q3DSCREEN_H

#include <GL/gl.h>

#include <cstdint>

#include "qvr3d/export.h"
#include "qvr3d/sdlmgr.h"

struct SDL_Surface;

/// The OpenGL counterpart of the software screen; a game uses one or the
/// other. Textures (Q3DTexMgr) and the OpenGL font need the context that Init
/// creates, and the context belongs to the thread that called Init.
///
///   Q3DScreen* screen = Q3DScreen::Singleton();
///   if (!screen->Init(800, 600, 0x40000000 /* SDL_DOUBLEBUF */, 32)) return 1;
///   screen->SetNames("My game", nullptr);
///   if (!screen->EnableGLMultitex())        // false: the extension is there
///     screen->glActiveTextureARB(GL_TEXTURE1_ARB);
///   ...
///   screen->BMPScreenshot("shot");          // shot000.bmp, shot001.bmp, ...
class QVR_API Q3DScreen : public QVRSDLMgr {
 public:
  /// Values of GetState().
  enum State : int {
    STATE_FAILED = 0,       ///< the last Init failed; no surface
    STATE_CREATED = 1,      ///< constructed, Init not called yet
    STATE_WINDOWED = 11,    ///< Init succeeded in a window
    STATE_FULLSCREEN = 12,  ///< Init succeeded full screen
  };

  typedef void(APIENTRY* ActiveTextureProc)(GLenum texture);
  typedef void(APIENTRY* MultiTexCoord2fProc)(GLenum target, GLfloat s, GLfloat t);
  typedef void(APIENTRY* ClientActiveTextureProc)(GLenum texture);
  typedef void(APIENTRY* LockArraysProc)(GLint first, GLsizei count);
  typedef void(APIENTRY* UnlockArraysProc)();

  /// Starts SDL's video subsystem (QVRSDLMgr with 0x20); no surface, no entry
  /// points, state 1.
  Q3DScreen();
  Q3DScreen(const Q3DScreen&) = delete;
  Q3DScreen& operator=(const Q3DScreen&) = delete;
  /// Forgets the singleton (when it is this screen), ungrabs the input and
  /// releases the surface, then the SDL reference.
  ~Q3DScreen() override;

  /// The process-wide screen, created on the first call.
  static Q3DScreen* Singleton();

  /// Opens a width x height OpenGL window (SDL video flags `flags`, the
  /// OpenGL flag 0x2 added) of `bpp` bits. Colour channels: 8 bpp 2, 3, 3
  /// bits; 15 and 16 bpp 5, 5, 5; otherwise 8, 8, 8; buffer size `bpp`, depth
  /// buffer 16. SDL_DOUBLEBUF (0x40000000) in `flags` becomes the
  /// SDL_GL_DOUBLEBUFFER attribute (set to 1) and is removed from the flags;
  /// without it the attribute is left as it is (SDL's default is 1).
  /// SDL_FULLSCREEN (0x80000000) also hides the cursor, grabs the input and
  /// puts the mouse at the centre. The extension entry points are cleared:
  /// call the Enable operations again after every Init. A failure logs
  /// "Video3D error: %s\n" (ERR) and leaves state 0 and no surface.
  bool Init(unsigned int width, unsigned int height, unsigned int flags, unsigned int bpp);
  /// New size for a window opened with SDL_RESIZABLE (0x10), keeping the
  /// surface's depth and flags; false without a surface or that flag, or when
  /// SDL gives no surface back.
  bool Resize(unsigned int width, unsigned int height);
  /// Window and icon titles (the title for both when `iconTitle` is null).
  void SetNames(const char* title, const char* iconTitle);
  /// Fetches glActiveTextureARB, glMultiTexCoord2fARB and
  /// glClientActiveTextureARB. Returns true (and sets NoMultitex()) when any
  /// of them is missing, false when all three were found.
  bool EnableGLMultitex();
  /// Fetches glLockArraysEXT and glUnlockArraysEXT; true (and NoArrays())
  /// when either is missing, false when both were found.
  bool EnableGLArrays();
  /// Saves the front buffer as the first free name among prefix000.bmp ..
  /// prefix999.bmp (24-bit BMP, rows top to bottom as on screen). An existing
  /// file is never replaced. False without a surface, with a null prefix,
  /// when all 1000 names exist, or when the file cannot be written.
  bool BMPScreenshot(const char* prefix);

  /// The video surface, null before Init or after a failed one.
  SDL_Surface* GetSurface() const { return m_screen; }
  /// One of the State values.
  int GetState() const { return m_state; }
  /// What the last EnableGLMultitex returned.
  bool NoMultitex() const { return m_noMultitex; }
  /// What the last EnableGLArrays returned.
  bool NoArrays() const { return m_noArrays; }

  /// Entry points of the extensions, fetched by EnableGLMultitex and
  /// EnableGLArrays; null otherwise and after every Init.
  ActiveTextureProc glActiveTextureARB;
  MultiTexCoord2fProc glMultiTexCoord2fARB;
  ClientActiveTextureProc glClientActiveTextureARB;
  LockArraysProc glLockArraysEXT;
  UnlockArraysProc glUnlockArraysEXT;

 private:
  SDL_Surface* m_screen;
  int m_state;
  bool m_noMultitex;
  bool m_noArrays;

  static Q3DScreen* m_instance;
};

#endif
