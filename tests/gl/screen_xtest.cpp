// Q3DScreen on a real OpenGL context (Mesa under Xvfb): the attributes Init
// asks for, read back from the context; full screen with its grab and
// cursor; failure; Resize; titles; the extension entry points; screenshots
// at widths where rows are and are not a multiple of 4 bytes, decoded by
// ImageMagick, with their numbering that never replaces a file.
#define GL_GLEXT_PROTOTYPES 1
#include <SDL.h>
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/tmpdir.h"
#include "gl/gl_helpers.h"
#include "gl/gl_xhelpers.h"
#include "image/magick.h"
#include "qvr3d/image.h"
#include "qvr3d/q3dscreen.h"

// Mesa, LLVM and the X libraries keep allocations for the life of the
// process (and SDL_Quit does not unload them): not ours to report.
#include "common/gl_leak_hooks.h"

namespace {

using qvrtest::AllLog;
using qvrtest::GLTest;

int Attribute(SDL_GLattr attr) {
  int value = -1;
  EXPECT_EQ(SDL_GL_GetAttribute(attr, &value), 0);
  return value;
}

using ScreenTest = GLTest;

TEST_F(ScreenTest, ConstructedState) {
  EXPECT_EQ(m_screen->GetState(), Q3DScreen::STATE_CREATED);
  EXPECT_EQ(m_screen->GetSurface(), nullptr);
  EXPECT_EQ(m_screen->glActiveTextureARB, nullptr);
  EXPECT_EQ(m_screen->glUnlockArraysEXT, nullptr);
  EXPECT_FALSE(m_screen->NoMultitex());
  EXPECT_FALSE(m_screen->NoArrays());
  EXPECT_EQ(Q3DScreen::Singleton(), m_screen);
  EXPECT_FALSE(m_screen->Resize(100, 100));
  qvrtest::TempDir dir;
  EXPECT_FALSE(m_screen->BMPScreenshot((dir / "never").c_str()));
  EXPECT_FALSE(qvrtest::FileExists(dir / "never000.bmp"));
}

TEST_F(ScreenTest, InitDoubleBufferedSixteenBits) {
  ASSERT_TRUE(m_screen->Init(640, 480, 0x40000000u, 16));
  EXPECT_EQ(m_screen->GetState(), 11);
  SDL_Surface* s = m_screen->GetSurface();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s, SDL_GetVideoSurface());
  EXPECT_EQ(s->w, 640);
  EXPECT_EQ(s->h, 480);
  EXPECT_TRUE(s->flags & SDL_OPENGL);
  EXPECT_FALSE(s->flags & SDL_FULLSCREEN);
  // What the context got: at least 5 bits a channel, a depth buffer of at
  // least 16 bits, double buffering.
  EXPECT_EQ(Attribute(SDL_GL_DOUBLEBUFFER), 1);
  EXPECT_GE(Attribute(SDL_GL_RED_SIZE), 5);
  EXPECT_GE(Attribute(SDL_GL_GREEN_SIZE), 5);
  EXPECT_GE(Attribute(SDL_GL_BLUE_SIZE), 5);
  EXPECT_GE(Attribute(SDL_GL_DEPTH_SIZE), 16);
  GLint depthBits = 0;
  glGetIntegerv(GL_DEPTH_BITS, &depthBits);
  EXPECT_GE(depthBits, 16);
  GLboolean doubleBuffer = GL_FALSE;
  glGetBooleanv(GL_DOUBLEBUFFER, &doubleBuffer);
  EXPECT_EQ(doubleBuffer, GL_TRUE);
}

TEST_F(ScreenTest, InitSingleBufferedWhenTheAttributeSaysSo) {
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 0);
  ASSERT_TRUE(m_screen->Init(320, 240, 0, 32));
  EXPECT_EQ(Attribute(SDL_GL_DOUBLEBUFFER), 0);
  EXPECT_GE(Attribute(SDL_GL_RED_SIZE), 8);
  EXPECT_GE(Attribute(SDL_GL_GREEN_SIZE), 8);
  EXPECT_GE(Attribute(SDL_GL_BLUE_SIZE), 8);
  EXPECT_GE(Attribute(SDL_GL_DEPTH_SIZE), 16);
}

TEST_F(ScreenTest, InitEightBitsAsksForTwoThreeThree) {
  ASSERT_TRUE(m_screen->Init(320, 240, 0, 8));
  EXPECT_EQ(m_screen->GetState(), 11);
  EXPECT_GE(Attribute(SDL_GL_RED_SIZE), 2);
  EXPECT_GE(Attribute(SDL_GL_GREEN_SIZE), 3);
  EXPECT_GE(Attribute(SDL_GL_BLUE_SIZE), 3);
  EXPECT_GE(Attribute(SDL_GL_DEPTH_SIZE), 16);
}

TEST_F(ScreenTest, FullScreenHidesTheCursorGrabsAndCentresTheMouse) {
  ASSERT_TRUE(m_screen->Init(640, 480, 0x80000000u, 32));
  EXPECT_EQ(m_screen->GetState(), 12);
  EXPECT_TRUE(m_screen->GetSurface()->flags & SDL_FULLSCREEN);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
  EXPECT_EQ(SDL_WM_GrabInput(SDL_GRAB_QUERY), SDL_GRAB_ON);
  SDL_PumpEvents();
  int x = -1, y = -1;
  SDL_GetMouseState(&x, &y);
  EXPECT_EQ(x, 320);
  EXPECT_EQ(y, 240);
  // Back in a window, the cursor and the mouse are given back.
  ASSERT_TRUE(m_screen->Init(640, 480, 0, 32));
  EXPECT_EQ(m_screen->GetState(), 11);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
  EXPECT_EQ(SDL_WM_GrabInput(SDL_GRAB_QUERY), SDL_GRAB_OFF);
}

TEST_F(ScreenTest, DestructorUngrabs) {
  ASSERT_TRUE(m_screen->Init(640, 480, 0x80000000u, 32));
  // A second SDL user keeps SDL up across the screen's destruction.
  QVRSDLMgr keep(0x20);
  delete m_screen;
  m_screen = nullptr;
  EXPECT_EQ(SDL_WM_GrabInput(SDL_GRAB_QUERY), SDL_GRAB_OFF);
  m_screen = Q3DScreen::Singleton();  // a new one, for TearDown
}

TEST_F(ScreenTest, FailedInitReportsAndLeavesStateZero) {
  // A first window (a later Init of the same depth and frame flag only
  // resizes it, and keeps its visual) that no visual can give.
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 200);
  AllLog log;
  EXPECT_FALSE(m_screen->Init(320, 240, 0, 32));
  const std::string text = log.Text();
  EXPECT_EQ(text.rfind("Video3D error: ", 0), 0u) << text;
  EXPECT_GT(text.size(), std::strlen("Video3D error: \n"));
  EXPECT_EQ(m_screen->GetState(), 0);
  EXPECT_EQ(m_screen->GetSurface(), nullptr);
  EXPECT_EQ(m_screen->glActiveTextureARB, nullptr);
  EXPECT_FALSE(m_screen->Resize(400, 300));
  qvrtest::TempDir dir;
  EXPECT_FALSE(m_screen->BMPScreenshot((dir / "never").c_str()));
  EXPECT_FALSE(qvrtest::FileExists(dir / "never000.bmp"));
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
  EXPECT_TRUE(m_screen->Init(320, 240, 0, 32));
  EXPECT_EQ(m_screen->GetState(), 11);
}

TEST_F(ScreenTest, ResizeNeedsTheResizableFlag) {
  ASSERT_TRUE(m_screen->Init(320, 240, 0, 32));
  SDL_Surface* before = m_screen->GetSurface();
  EXPECT_FALSE(m_screen->Resize(400, 300));
  EXPECT_EQ(m_screen->GetSurface(), before);
  EXPECT_EQ(m_screen->GetSurface()->w, 320);
  EXPECT_EQ(m_screen->GetSurface()->h, 240);

  ASSERT_TRUE(m_screen->Init(320, 240, SDL_RESIZABLE, 32));
  GLuint tex = 0;
  glGenTextures(1, &tex);
  glBindTexture(GL_TEXTURE_2D, tex);
  const uint8_t texel[4] = {1, 2, 3, 4};
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
  EXPECT_TRUE(m_screen->Resize(400, 300));
  ASSERT_NE(m_screen->GetSurface(), nullptr);
  EXPECT_EQ(m_screen->GetSurface()->w, 400);
  EXPECT_EQ(m_screen->GetSurface()->h, 300);
  EXPECT_TRUE(m_screen->GetSurface()->flags & SDL_RESIZABLE);
  EXPECT_TRUE(m_screen->GetSurface()->flags & SDL_OPENGL);
  EXPECT_EQ(m_screen->GetState(), 11);
  // Same depth and flags: SDL keeps the context, and the texture with it.
  EXPECT_TRUE(glIsTexture(tex));
}

TEST_F(ScreenTest, SetNames) {
  ASSERT_TRUE(m_screen->Init(320, 240, 0, 32));
  char* title = nullptr;
  char* icon = nullptr;
  m_screen->SetNames("Game", "Icon");
  SDL_WM_GetCaption(&title, &icon);
  EXPECT_STREQ(title, "Game");
  EXPECT_STREQ(icon, "Icon");
  m_screen->SetNames("Only", nullptr);
  SDL_WM_GetCaption(&title, &icon);
  EXPECT_STREQ(title, "Only");
  EXPECT_STREQ(icon, "Only");
}

TEST_F(ScreenTest, ExtensionEntryPoints) {
  ASSERT_TRUE(m_screen->Init(320, 240, 0, 32));
  // Mesa has both extensions: false means "not missing".
  EXPECT_FALSE(m_screen->EnableGLMultitex());
  EXPECT_FALSE(m_screen->NoMultitex());
  ASSERT_NE(m_screen->glActiveTextureARB, nullptr);
  EXPECT_NE(m_screen->glMultiTexCoord2fARB, nullptr);
  EXPECT_NE(m_screen->glClientActiveTextureARB, nullptr);
  EXPECT_FALSE(m_screen->EnableGLArrays());
  EXPECT_FALSE(m_screen->NoArrays());
  EXPECT_NE(m_screen->glLockArraysEXT, nullptr);
  ASSERT_NE(m_screen->glUnlockArraysEXT, nullptr);
  // They are the context's own functions.
  m_screen->glActiveTextureARB(GL_TEXTURE1_ARB);
  GLint active = 0;
  glGetIntegerv(GL_ACTIVE_TEXTURE_ARB, &active);
  EXPECT_EQ(active, GL_TEXTURE1_ARB);
  m_screen->glActiveTextureARB(GL_TEXTURE0_ARB);
  m_screen->glClientActiveTextureARB(GL_TEXTURE1_ARB);
  glGetIntegerv(GL_CLIENT_ACTIVE_TEXTURE_ARB, &active);
  EXPECT_EQ(active, GL_TEXTURE1_ARB);
  m_screen->glClientActiveTextureARB(GL_TEXTURE0_ARB);
  const GLfloat quad[8] = {0, 0, 1, 0, 1, 1, 0, 1};
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(2, GL_FLOAT, 0, quad);
  m_screen->glLockArraysEXT(0, 4);
  m_screen->glUnlockArraysEXT();
  glDisableClientState(GL_VERTEX_ARRAY);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  // Every Init clears them.
  ASSERT_TRUE(m_screen->Init(320, 240, 0, 32));
  EXPECT_EQ(m_screen->glActiveTextureARB, nullptr);
  EXPECT_EQ(m_screen->glMultiTexCoord2fARB, nullptr);
  EXPECT_EQ(m_screen->glClientActiveTextureARB, nullptr);
  EXPECT_EQ(m_screen->glLockArraysEXT, nullptr);
  EXPECT_EQ(m_screen->glUnlockArraysEXT, nullptr);
}

// ---- Screenshots -------------------------------------------------------------

// A pattern with distinct values in every channel and column, rows from the
// top, as RGB triples.
std::vector<uint8_t> Pattern(unsigned w, unsigned h) {
  std::vector<uint8_t> rgb(size_t(w) * h * 3);
  for (unsigned y = 0; y < h; ++y)
    for (unsigned x = 0; x < w; ++x) {
      uint8_t* p = &rgb[(size_t(y) * w + x) * 3];
      p[0] = uint8_t(x * 3 + y);
      p[1] = uint8_t(y * 5 + (x >> 2));
      p[2] = uint8_t((x ^ y) * 7 + 1);
    }
  return rgb;
}

// Draws the top-down RGB pattern with its first row at the top of the window.
void DrawPattern(const std::vector<uint8_t>& rgb, unsigned w, unsigned h) {
  std::vector<uint8_t> bottomUp(rgb.size());
  const size_t row = size_t(w) * 3;
  for (unsigned y = 0; y < h; ++y) std::memcpy(&bottomUp[y * row], &rgb[(h - 1 - y) * row], row);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glWindowPos2i(0, 0);
  glDrawPixels(GLsizei(w), GLsizei(h), GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glFinish();
}

class ScreenshotTest : public GLTest, public ::testing::WithParamInterface<unsigned> {};

TEST_P(ScreenshotTest, FrontBufferDecodedByImageMagick) {
  QVR_REQUIRE_MAGICK();
  const unsigned w = GetParam(), h = 123;
  ASSERT_TRUE(OpenWindow(w, h));
  const std::vector<uint8_t> pattern = Pattern(w, h);
  DrawPattern(pattern, w, h);
  ASSERT_EQ(qvrtest::ReadFront(w, h), pattern) << "the window does not show the pattern";

  // A pack alignment the game left at 8 must not matter either.
  glPixelStorei(GL_PACK_ALIGNMENT, 8);
  glPixelStorei(GL_PACK_ROW_LENGTH, w + 5);
  glReadBuffer(GL_BACK);
  qvrtest::TempDir dir;
  const std::string prefix = dir / "shot";
  ASSERT_TRUE(m_screen->BMPScreenshot(prefix.c_str()));
  GLint alignment = 0, rowLength = 0, readBuffer = 0;
  glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
  glGetIntegerv(GL_PACK_ROW_LENGTH, &rowLength);
  glGetIntegerv(GL_READ_BUFFER, &readBuffer);
  EXPECT_EQ(alignment, 8);  // the game's settings are back
  EXPECT_EQ(rowLength, GLint(w + 5));
  EXPECT_EQ(readBuffer, GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);

  const std::string file = prefix + "000.bmp";
  const std::string bytes = qvrtest::ReadAll(file);
  const size_t stride = (size_t(w) * 3 + 3) & ~size_t(3);
  EXPECT_EQ(bytes.size(), 54 + stride * h);
  const std::string decoded = qvrtest::MagickRaw(file, "rgb", dir);
  ASSERT_EQ(decoded.size(), pattern.size());
  EXPECT_TRUE(std::memcmp(decoded.data(), pattern.data(), pattern.size()) == 0);
  // And as the library reads it back: a 24-bit image.
  QVRImage back;
  ASSERT_TRUE(qvrtest::LoadImageFile(back, file));
  EXPECT_EQ(back.GetBpp(), 24u);
  EXPECT_EQ(qvrtest::ImageRGB(back), decoded);
}

INSTANTIATE_TEST_SUITE_P(Widths, ScreenshotTest, ::testing::Values(640u, 638u, 637u, 1u));

TEST_F(ScreenTest, ScreenshotsAreNumberedAndNeverReplaceAFile) {
  ASSERT_TRUE(OpenWindow(64, 32));
  qvrtest::TempDir dir;
  const std::string prefix = dir / "shot";
  ASSERT_TRUE(qvrtest::WriteAll(prefix + "000.bmp", "first"));
  ASSERT_TRUE(qvrtest::WriteAll(prefix + "001.bmp", "second"));
  ASSERT_TRUE(m_screen->BMPScreenshot(prefix.c_str()));
  EXPECT_EQ(qvrtest::ReadAll(prefix + "000.bmp"), "first");
  EXPECT_EQ(qvrtest::ReadAll(prefix + "001.bmp"), "second");
  EXPECT_EQ(qvrtest::ReadAll(prefix + "002.bmp").substr(0, 2), "BM");
  ASSERT_TRUE(m_screen->BMPScreenshot(prefix.c_str()));
  EXPECT_EQ(qvrtest::ReadAll(prefix + "003.bmp").size(), 54u + 64 * 3 * 32);
  EXPECT_FALSE(m_screen->BMPScreenshot(nullptr));
  EXPECT_FALSE(m_screen->BMPScreenshot((dir / "missing/shot").c_str()));
}

TEST_F(ScreenTest, ScreenshotFailsWhenEveryNumberIsTaken) {
  ASSERT_TRUE(OpenWindow(16, 16));
  qvrtest::TempDir dir;
  const std::string prefix = dir / "s";
  char name[16];
  for (unsigned n = 0; n < 1000; ++n) {
    std::snprintf(name, sizeof name, "%03u.bmp", n);
    ASSERT_TRUE(qvrtest::WriteAll(prefix + name, "x"));
  }
  EXPECT_FALSE(m_screen->BMPScreenshot(prefix.c_str()));
  EXPECT_EQ(qvrtest::ReadAll(prefix + "999.bmp"), "x");
}

}  // namespace
