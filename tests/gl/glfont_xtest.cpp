// Q3DFont drawn on a real OpenGL context, read back with glReadPixels: the
// same glyph shapes at the same advances as QVRImage::DrawText draws from
// the same font file (one row apart: the quads end a glyph one row above the
// software font's last row), and against the quad placement rules at scale
// 2, in every alignment, clipped, at the model-view origin and one glyph at
// a time.
#define GL_GLEXT_PROTOTYPES 1
#include <SDL.h>
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/tmpdir.h"
#include "gl/gl_helpers.h"
#include "gl/gl_xhelpers.h"
#include "qvr3d/font.h"
#include "qvr3d/glfont.h"
#include "qvr3d/image.h"
#include "qvr3d/resfinder.h"
#include "qvr3d/texmgr.h"

namespace {

using qvrtest::GLTest;

constexpr unsigned kW = 320, kH = 96;

// A picture as a set mask, one byte per pixel, rows from the top.
using Mask = std::vector<uint8_t>;

Mask FrontMask() {
  const std::vector<uint8_t> rgb = qvrtest::ReadFront(kW, kH);
  Mask mask(size_t(kW) * kH);
  for (size_t i = 0; i < mask.size(); ++i) {
    const uint8_t* p = &rgb[3 * i];
    EXPECT_TRUE((p[0] == 0 || p[0] == 255) && p[0] == p[1] && p[1] == p[2])
        << "pixel " << i % kW << "," << i / kW << " is neither black nor white";
    mask[i] = p[0] ? 1 : 0;
  }
  return mask;
}

size_t Count(const Mask& m) {
  size_t n = 0;
  for (uint8_t v : m) n += v;
  return n;
}

std::string Describe(const Mask& got, const Mask& want) {
  for (unsigned y = 0; y < kH; ++y)
    for (unsigned x = 0; x < kW; ++x)
      if (got[y * kW + x] != want[y * kW + x])
        return "first difference at " + std::to_string(x) + "," + std::to_string(y) + " (got " +
               std::to_string(got[y * kW + x]) + "), set pixels " + std::to_string(Count(got)) +
               " vs " + std::to_string(Count(want));
  return "same";
}

// The quad placement, written out: pen px on the baseline by, scale s; a
// glyph covers columns px .. px + width x s - 1 and rows by - above x s ..
// by + below x s - 1, texel (gx, gy) at s x s pixels. Clipping as
// DrawClipString when `clip`.
Mask Reference(const QVRFont& font, const char* text, int x, int by, int s, bool clip = false,
               int left = 0, int right = 0) {
  Mask mask(size_t(kW) * kH, 0);
  int px = x;
  for (const char* p = text; *p; ++p) {
    const unsigned char c = uint8_t(*p);
    if (c == ' ') {
      px += int(font.GetWhiteSize() + font.GetSpacing()) * s;
      continue;
    }
    const QVRChar* g = font.GetChar(c);
    if (!g || g->width == 0) continue;
    if (clip && px + g->width * s > right) break;
    if (!clip || px >= left) {
      const int top = by - (g->height - g->descent) * s;
      for (int gy = 0; gy < g->height; ++gy)
        for (int gx = 0; gx < g->width; ++gx) {
          if (!font.GetSheet()[(g->y + gy) * font.GetSheetWidth() + g->x + gx]) continue;
          for (int dy = 0; dy < s; ++dy)
            for (int dx = 0; dx < s; ++dx) {
              const int X = px + gx * s + dx, Y = top + gy * s + dy;
              if (X >= 0 && X < int(kW) && Y >= 0 && Y < int(kH)) mask[Y * kW + X] = 1;
            }
        }
    }
    px += (g->width + int(font.GetSpacing())) * s;
  }
  return mask;
}

// QVRImage::DrawText's picture of the same text, as a mask.
Mask Software(QVRFont& font, const char* text, int x, int y, FontAlign align) {
  QVRImage img(kW, kH, 8);
  std::memset(img.GetPixels(), 0, kW * kH);
  img.DrawText(x, y, text, 1, &font, align);
  return Mask(img.GetPixels(), img.GetPixels() + kW * kH);
}

// The mask moved up by `rows`.
Mask Up(const Mask& m, unsigned rows) {
  Mask out(m.size(), 0);
  for (unsigned y = rows; y < kH; ++y) std::memcpy(&out[(y - rows) * kW], &m[y * kW], kW);
  return out;
}

class FontTest : public GLTest {
 protected:
  void SetUp() override {
    GLTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_TRUE(OpenWindow(kW, kH));
    qvrtest::MakeTestFont(m_soft);
    ASSERT_TRUE(m_soft.SaveName((m_dir / "test.fnt").c_str(), 0));
    QVRFont reread((m_dir / "test.fnt").c_str());
    ASSERT_STREQ(reread.GetName(), "GLTest");
    ASSERT_TRUE(m_finder.AddSource(m_dir.path().c_str()));
    m_textures.reset(new Q3DTexMgr(m_finder, 4));
    QVR::SetLogLevel(0);  // the padding warning
    m_texture = m_textures->LoadFromFile("test.fnt", GL_NEAREST, false, 0);
    QVR::SetLogLevel(100);
    ASSERT_NE(m_texture, nullptr);
    ASSERT_EQ(m_texture->width, 256);  // the 203-column sheet, padded
    ASSERT_TRUE(m_font.LoadName((m_dir / "test.fnt").c_str(), 0));
    m_font.SetTexture(m_texture);
  }
  void TearDown() override {
    m_textures.reset();
    GLTest::TearDown();
  }
  void Clear() {
    glClear(GL_COLOR_BUFFER_BIT);
    glFinish();
  }

  qvrtest::TempDir m_dir;
  QVRResFinder m_finder;
  std::unique_ptr<Q3DTexMgr> m_textures;
  Q3DTexture* m_texture = nullptr;
  QVRFont m_soft;
  Q3DFont m_font;
};

const char kText[] = "Hello, World! 0123 ABCxyz #$%&";

TEST_F(FontTest, SameGlyphsAndAdvancesAsTheSoftwareFont) {
  const int x = 5, y = 40;
  m_font.DrawString(x, y, kText, Q3DFont::ALL, 1.0f, Q3DFont::ALIGN_BASELINE);
  const Mask gl = FrontMask();
  const Mask sw = Software(m_soft, kText, x, y, ALIGN_BASELINE);
  ASSERT_GT(Count(sw), 100u);
  // The quads end a glyph one row above the software font's last row.
  EXPECT_EQ(gl, Up(sw, 1)) << Describe(gl, Up(sw, 1));
  EXPECT_EQ(gl, Reference(m_soft, kText, x, y, 1))
      << Describe(gl, Reference(m_soft, kText, x, y, 1));
  // The width both measure is where the pen ends.
  EXPECT_EQ(m_font.TextWidth(kText), m_soft.TextWidth(kText));
  unsigned w1 = 0, h1 = 0, w2 = 0, h2 = 0;
  m_font.TextSize(kText, w1, h1);
  m_soft.TextSize(kText, w2, h2);
  EXPECT_EQ(w1, w2);
  EXPECT_EQ(h1, h2);
}

TEST_F(FontTest, AlignTopMatchesTheSoftwareFontRowForRow) {
  // Software: baseline y + ascent - 1, glyph rows to baseline + descent;
  // OpenGL: baseline y + ascent, rows to baseline + below - 1. The same rows.
  const int x = 3, y = 10;
  m_font.DrawString(x, y, kText, Q3DFont::ALL, 1.0f, Q3DFont::ALIGN_TOP);
  const Mask gl = FrontMask();
  const Mask sw = Software(m_soft, kText, x, y, ALIGN_TOP);
  EXPECT_EQ(gl, sw) << Describe(gl, sw);
}

TEST_F(FontTest, ScaleAndAlignmentsMoveTheBaselineAndAdvances) {
  const char text[] = "Ag #9 zy";
  struct Case {
    float scale;
    Q3DFont::FontAlign align;
    int baseline;  // for y = 30
  } cases[] = {
      {1.0f, Q3DFont::ALIGN_TOP, 30 + 9},    {2.0f, Q3DFont::ALIGN_TOP, 30 + 18},
      {1.0f, Q3DFont::ALIGN_BOTTOM, 30 - 3}, {2.0f, Q3DFont::ALIGN_BOTTOM, 30 - 6},
      {2.0f, Q3DFont::ALIGN_BASELINE, 30},   {2.0f, Q3DFont::FontAlign(7), 30},
  };
  for (const Case& c : cases) {
    Clear();
    m_font.DrawString(4, 30, text, Q3DFont::ALL, c.scale, c.align);
    const Mask gl = FrontMask();
    const Mask want = Reference(m_soft, text, 4, c.baseline, int(c.scale));
    EXPECT_EQ(gl, want) << "scale " << c.scale << " align " << int(c.align) << ": "
                        << Describe(gl, want);
  }
}

TEST_F(FontTest, OriginVariantDrawsTheSamePixels) {
  const char text[] = "Move #1";
  for (float scale : {1.0f, 2.0f}) {
    Clear();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(12, 50, 0);
    m_font.DrawString(text, Q3DFont::ALL, scale, Q3DFont::ALIGN_TOP);
    GLfloat matrix[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, matrix);
    EXPECT_EQ(matrix[12], 12.0f);  // popped back
    EXPECT_EQ(matrix[13], 50.0f);
    glLoadIdentity();
    const Mask gl = FrontMask();
    const Mask want = Reference(m_soft, text, 12, 50 + int(9 * scale), int(scale));
    EXPECT_EQ(gl, want) << "scale " << scale << ": " << Describe(gl, want);
  }
}

TEST_F(FontTest, ClipStringDropsGlyphsPastTheClip) {
  const char text[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  const int left = 30, right = 100;
  m_font.DrawClipString(5, 40, left, right, text, Q3DFont::ALL, 1.0f, Q3DFont::ALIGN_BASELINE);
  const Mask gl = FrontMask();
  const Mask want = Reference(m_soft, text, 5, 40, 1, true, left, right);
  EXPECT_EQ(gl, want) << Describe(gl, want);
  for (unsigned y = 0; y < kH; ++y)
    for (unsigned x = 0; x < kW; ++x)
      if (gl[y * kW + x]) {
        EXPECT_GE(int(x), left);
        EXPECT_LE(int(x), right - 1);  // no glyph's right edge passes 100
      }
  // Something was cut on both sides.
  EXPECT_LT(Count(gl), Count(Reference(m_soft, text, 5, 40, 1)));
  Clear();
  m_font.DrawClipString(101, 40, 0, 100, text);  // x > right: nothing
  EXPECT_EQ(Count(FrontMask()), 0u);
  Clear();
  m_font.DrawClipString(20, 20, 0, 300, text, Q3DFont::ALL, 2.0f, Q3DFont::ALIGN_TOP);
  const Mask scaled = FrontMask();
  EXPECT_EQ(scaled, Reference(m_soft, text, 20, 38, 2, true, 0, 300));
}

TEST_F(FontTest, LengthsAndCodesWithoutGlyph) {
  m_font.DrawString(5, 40, "abcdef", 3);
  const Mask three = FrontMask();
  EXPECT_EQ(three, Reference(m_soft, "abc", 5, 40, 1));
  // An explicit length draws exactly that many bytes: the zero byte is a
  // code without glyph, skipped without advancing, as 'q' (width 0) is.
  Clear();
  m_font.DrawString(5, 40, "ab\0cd", 5);
  EXPECT_EQ(FrontMask(), Reference(m_soft, "abcd", 5, 40, 1));
  Clear();
  m_font.DrawString(5, 40, "aqb{~c");
  EXPECT_EQ(FrontMask(), Reference(m_soft, "abc", 5, 40, 1));
  Clear();
  m_font.DrawString(5, 40, "", Q3DFont::ALL);
  m_font.DrawString(5, 40, nullptr, Q3DFont::ALL);
  m_font.DrawString(5, 40, "abc", 0);
  EXPECT_EQ(Count(FrontMask()), 0u);
}

TEST_F(FontTest, StateAfterDrawingAndWithoutTexture) {
  glDisable(GL_BLEND);
  glEnable(GL_TEXTURE_2D);
  m_font.DrawString(5, 40, "abc");
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_TRUE(glIsEnabled(GL_BLEND));  // blending stays on
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(GLuint(bound), m_texture->id);
  Clear();
  m_font.SetTexture(nullptr);
  m_font.DrawString(5, 40, "abc");
  m_font.DrawClipString(5, 40, 0, 300, "abc");
  m_font.DrawString("abc");
  EXPECT_EQ(Count(FrontMask()), 0u);
}

TEST_F(FontTest, DrawCharScalesEveryCoordinate) {
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, m_texture->id);
  m_font.DrawChar(10, 20, 'W', 2.0f);  // pen (20, 40)
  Mask gl = FrontMask();
  EXPECT_EQ(gl, Reference(m_soft, "W", 20, 40, 2))
      << Describe(gl, Reference(m_soft, "W", 20, 40, 2));
  Clear();
  glTranslatef(7, 30, 0);
  m_font.DrawChar('W', 1.0f);
  m_font.DrawChar(' ', 1.0f);  // spaces draw nothing
  m_font.DrawChar('q', 1.0f);
  glLoadIdentity();
  gl = FrontMask();
  EXPECT_EQ(gl, Reference(m_soft, "W", 7, 30, 1)) << Describe(gl, Reference(m_soft, "W", 7, 30, 1));
  glDisable(GL_TEXTURE_2D);
}

}  // namespace
