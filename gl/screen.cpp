// Q3DScreen: the OpenGL window through SDL 1.2, the extension entry points
// and the front-buffer screenshots.
#include "qvr3d/q3dscreen.h"

#include <SDL.h>

#include <cstdint>
#include <memory>

#include "gl/numbered.h"
#include "qvr3d/core.h"
#include "qvr3d/image.h"
#include "qvr3d/stream.h"

Q3DScreen* Q3DScreen::m_instance = nullptr;

namespace {

constexpr unsigned kBmpHeaderBytes = 54;  // file and info headers of a 24-bit BMP

// Errors left by earlier calls, so that a check after our own calls sees
// only theirs. Bounded: without a context some drivers never run dry.
void DrainGLErrors() {
  for (int i = 0; i < 32 && glGetError() != GL_NO_ERROR; ++i) {
  }
}

template <class Proc>
Proc GetProc(const char* name) {
  return reinterpret_cast<Proc>(SDL_GL_GetProcAddress(name));
}

}  // namespace

Q3DScreen::Q3DScreen()
    : QVRSDLMgr(SDL_INIT_VIDEO),
      glActiveTextureARB(nullptr),
      glMultiTexCoord2fARB(nullptr),
      glClientActiveTextureARB(nullptr),
      glLockArraysEXT(nullptr),
      glUnlockArraysEXT(nullptr),
      m_screen(nullptr),
      m_state(STATE_CREATED),
      m_noMultitex(false),
      m_noArrays(false) {}

Q3DScreen::~Q3DScreen() {
  if (m_instance == this) m_instance = nullptr;
  if (m_screen) {
    SDL_FreeSurface(m_screen);  // the video surface: SDL keeps it until SDL_Quit
    SDL_WM_GrabInput(SDL_GRAB_OFF);
  }
}

Q3DScreen* Q3DScreen::Singleton() {
  if (!m_instance) m_instance = new Q3DScreen();
  return m_instance;
}

bool Q3DScreen::Init(unsigned int width, unsigned int height, unsigned int flags,
                     unsigned int bpp) {
  int red = 8, green = 8, blue = 8;
  if (bpp == 8) {
    red = 2;
    green = 3;
    blue = 3;
  } else if (bpp == 15 || bpp == 16) {
    red = green = blue = 5;
  }
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, red);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, green);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, blue);
  SDL_GL_SetAttribute(SDL_GL_BUFFER_SIZE, static_cast<int>(bpp));
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
  if (flags & SDL_DOUBLEBUF) {
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    flags &= ~static_cast<uint32_t>(SDL_DOUBLEBUF);
  }
  flags |= SDL_OPENGL;

  // Entry points of the old context are no use in the new one.
  glActiveTextureARB = nullptr;
  glMultiTexCoord2fARB = nullptr;
  glClientActiveTextureARB = nullptr;
  glLockArraysEXT = nullptr;
  glUnlockArraysEXT = nullptr;

  const bool wasFullScreen = m_state == STATE_FULLSCREEN;
  m_screen = SDL_SetVideoMode(static_cast<int>(width), static_cast<int>(height),
                              static_cast<int>(bpp), flags);
  if (!m_screen) {
    QVR::ERR("Video3D error: %s\n", SDL_GetError());
    m_state = STATE_FAILED;
    return false;
  }
  m_state = STATE_WINDOWED;
  if (flags & SDL_FULLSCREEN) {
    SDL_ShowCursor(SDL_DISABLE);
    SDL_WM_GrabInput(SDL_GRAB_ON);
    SDL_WarpMouse(Uint16(width / 2), Uint16(height / 2));
    m_state = STATE_FULLSCREEN;
  } else if (wasFullScreen) {
    // Back in a window: give back what the full-screen mode took.
    SDL_ShowCursor(SDL_ENABLE);
    SDL_WM_GrabInput(SDL_GRAB_OFF);
  }
  return true;
}

bool Q3DScreen::Resize(unsigned int width, unsigned int height) {
  if (!m_screen || !(m_screen->flags & SDL_RESIZABLE)) return false;
  m_screen = SDL_SetVideoMode(static_cast<int>(width), static_cast<int>(height),
                              m_screen->format->BitsPerPixel, m_screen->flags);
  if (!m_screen) m_state = STATE_FAILED;
  return m_screen != nullptr;
}

void Q3DScreen::SetNames(const char* title, const char* iconTitle) {
  SDL_WM_SetCaption(title, iconTitle ? iconTitle : title);
}

bool Q3DScreen::EnableGLMultitex() {
  glActiveTextureARB = GetProc<ActiveTextureProc>("glActiveTextureARB");
  glMultiTexCoord2fARB = GetProc<MultiTexCoord2fProc>("glMultiTexCoord2fARB");
  glClientActiveTextureARB = GetProc<ClientActiveTextureProc>("glClientActiveTextureARB");
  m_noMultitex = !glActiveTextureARB || !glMultiTexCoord2fARB || !glClientActiveTextureARB;
  return m_noMultitex;
}

bool Q3DScreen::EnableGLArrays() {
  glLockArraysEXT = GetProc<LockArraysProc>("glLockArraysEXT");
  glUnlockArraysEXT = GetProc<UnlockArraysProc>("glUnlockArraysEXT");
  m_noArrays = !glLockArraysEXT || !glUnlockArraysEXT;
  return m_noArrays;
}

bool Q3DScreen::BMPScreenshot(const char* prefix) {
  if (!m_screen || !prefix) return false;
  const unsigned width = static_cast<unsigned>(m_screen->w),
                 height = static_cast<unsigned>(m_screen->h);
  QVRImage shot(width, height, 24);
  if (!shot.GetPixels()) return false;

  // The image rows are exactly width x 3 bytes: the read-back must pack them
  // so (alignment 1, no row length or skips), whatever the game set; its
  // pixel-store state and read buffer are put back afterwards.
  DrainGLErrors();
  glPushAttrib(GL_PIXEL_MODE_BIT);
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glPixelStorei(GL_PACK_SKIP_ROWS, 0);
  glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
  glPixelStorei(GL_PACK_SWAP_BYTES, GL_FALSE);
  glPixelStorei(GL_PACK_LSB_FIRST, GL_FALSE);
  glReadBuffer(GL_FRONT);
  glReadPixels(0, 0, GLsizei(width), GLsizei(height), GL_BGR, GL_UNSIGNED_BYTE, shot.GetPixels());
  const GLenum error = glGetError();
  glPopClientAttrib();
  glPopAttrib();
  if (error != GL_NO_ERROR) return false;
  shot.VFlip();  // OpenGL rows run bottom-up

  // The BMP file is made in memory and then created exclusively, so that no
  // existing file (not even one made a moment ago) is replaced.
  const uint64_t stride = (static_cast<uint64_t>(width) * 3 + 3) & ~static_cast<uint64_t>(3);
  const uint64_t bytes = kBmpHeaderBytes + stride * height;
  if (bytes >= 0xFFFFFFF0u) return false;
  QVRMemFile bmp(static_cast<unsigned>(bytes) + 16, QVRResFile::READWRITE | QVRResFile::TRUNCATE);
  if (!bmp.Good() || !shot.Save(bmp, QVRImage::IMG_BMP) || bmp.GetPos() != bytes) return false;
  return qvr::detail::WriteNumberedFile(prefix, ".bmp", bmp.GetData(),
                                        static_cast<size_t>(bytes)) >= 0;
}
