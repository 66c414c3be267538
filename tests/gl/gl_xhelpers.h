// Helpers of the OpenGL tests that need a display (*_xtest.cpp, run inside
// Xvfb with Mesa's software renderer): a fixture that opens the screen and
// closes it (and SDL) after each test, a pixel-exact 2D set-up, and read-back
// of the framebuffer and of textures.
#ifndef QVR_TESTS_GL_XHELPERS_H
#define QVR_TESTS_GL_XHELPERS_H

#include <SDL.h>
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "qvr3d/q3dscreen.h"

namespace qvrtest {

class GLTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display (run under tests/common/with_xvfb.sh)";
    m_screen = Q3DScreen::Singleton();
  }
  void TearDown() override {
    delete m_screen;  // the last SDL user: SDL_Quit, so the next test starts afresh
    m_screen = nullptr;
  }

  // A single-buffered width x height window (Mesa under Xvfb gives a black
  // front buffer after a swap in double-buffered mode) with one unit per
  // pixel, y down, dithering off and a black picture.
  bool OpenWindow(unsigned width, unsigned height, unsigned flags = 0) {
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 0);
    if (!m_screen->Init(width, height, flags, 32)) return false;
    Setup2D(width, height);
    return true;
  }

  static void Setup2D(unsigned width, unsigned height) {
    glViewport(0, 0, GLsizei(width), GLsizei(height));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, width, height, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DITHER);
    glDisable(GL_DEPTH_TEST);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glFinish();
  }

  Q3DScreen* m_screen = nullptr;
};

// The front buffer as RGB triples, rows from the top.
inline std::vector<uint8_t> ReadFront(unsigned width, unsigned height) {
  glFinish();
  std::vector<uint8_t> rgb(size_t(width) * height * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_FRONT);
  glReadPixels(0, 0, GLsizei(width), GLsizei(height), GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  std::vector<uint8_t> top(rgb.size());
  const size_t row = size_t(width) * 3;
  for (unsigned y = 0; y < height; ++y)
    std::copy(rgb.begin() + (height - 1 - y) * row, rgb.begin() + (height - y) * row,
              top.begin() + y * row);
  return top;
}

// Level 0 of texture `id` in `format` (1, 2, 3 or 4 bytes per texel).
inline std::vector<uint8_t> ReadTexture(GLuint id, GLenum format, unsigned bytesPerTexel) {
  glBindTexture(GL_TEXTURE_2D, id);
  GLint w = 0, h = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
  std::vector<uint8_t> texels(size_t(w) * size_t(h) * bytesPerTexel);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  if (!texels.empty()) glGetTexImage(GL_TEXTURE_2D, 0, format, GL_UNSIGNED_BYTE, texels.data());
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  return texels;
}

}  // namespace qvrtest

#endif
