// Q3DTexMgr on a real OpenGL context: every pixel layout read back with
// glGetTexImage against its definition (padding included), files through a
// finder, reference counts, adopted textures, the table's growth, the
// context loss and ReloadTextures.
#define GL_GLEXT_PROTOTYPES 1
#include <SDL.h>
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/tmpdir.h"
#include "gl/gl_helpers.h"
#include "gl/gl_xhelpers.h"
#include "image/magick.h"
#include "qvr3d/image.h"
#include "qvr3d/pal.h"
#include "qvr3d/q3dscreen.h"
#include "qvr3d/resfinder.h"
#include "qvr3d/texmgr.h"

namespace {

using qvrtest::AllLog;
using qvrtest::GLTest;
using qvrtest::ReadTexture;

// An image of `bpp` bits with pseudo-random bytes.
QVRImage Noise(unsigned w, unsigned h, unsigned bpp, uint32_t seed = 1) {
  QVRImage img(w, h, bpp);
  for (size_t i = 0; i < size_t(img.GetPitch()) * h; ++i) {
    seed = seed * 1103515245u + 12345u;
    img.GetPixels()[i] = uint8_t(seed >> 23);
  }
  return img;
}

// The texels a texture of tw x th must hold for `img` in `format`, written
// from the layout rules (not from the library's conversion code).
std::vector<uint8_t> Expected(const QVRImage& img, unsigned tw, unsigned th, GLenum format) {
  const unsigned bytes = img.GetBytesPerPixel();
  const unsigned out = format == GL_RGBA              ? 4
                       : format == GL_RGB             ? 3
                       : format == GL_LUMINANCE_ALPHA ? 2
                                                      : 1;
  std::vector<uint8_t> texels(size_t(tw) * th * out);
  for (unsigned y = 0; y < th; ++y)
    for (unsigned x = 0; x < tw; ++x) {
      uint8_t src[4] = {0, 0, 0, 0};  // the padding is a zero pixel
      if (x < img.GetWidth() && y < img.GetHeight())
        std::memcpy(src, img.GetPixels() + size_t(y) * img.GetPitch() + x * bytes, bytes);
      uint8_t* t = &texels[(size_t(y) * tw + x) * out];
      if (format == GL_ALPHA || format == GL_LUMINANCE) {
        t[0] = src[0];
      } else if (format == GL_LUMINANCE_ALPHA) {
        t[0] = t[1] = src[0];
      } else if (bytes == 1) {
        const QVRPal* pal = img.GetPalette();
        const uint8_t* e = pal ? pal->Entry(src[0]) : nullptr;
        const uint8_t grey[3] = {src[0], src[0], src[0]}, black[3] = {0, 0, 0};
        std::memcpy(t, pal ? (e ? e : black) : grey, 3);
      } else {
        t[0] = src[2];
        t[1] = src[1];
        t[2] = src[0];
        if (bytes == 4) t[3] = uint8_t(255 - src[3]);
      }
    }
  return texels;
}

unsigned TexelBytes(GLenum format) {
  return format == GL_RGBA ? 4 : format == GL_RGB ? 3 : format == GL_LUMINANCE_ALPHA ? 2 : 1;
}

GLint TexParameter(GLuint id, GLenum pname) {
  glBindTexture(GL_TEXTURE_2D, id);
  GLint v = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, pname, &v);
  return v;
}

GLint LevelParameter(GLuint id, GLenum pname) {
  glBindTexture(GL_TEXTURE_2D, id);
  GLint v = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, pname, &v);
  return v;
}

// The texture holds exactly `img` in `format` over tw x th.
void ExpectTexture(const Q3DTexture* t, const QVRImage& img, unsigned tw, unsigned th,
                   GLenum format) {
  ASSERT_NE(t, nullptr);
  ASSERT_TRUE(glIsTexture(t->id));
  EXPECT_EQ(t->width, tw);
  EXPECT_EQ(t->height, th);
  EXPECT_EQ(t->format, format);
  EXPECT_EQ(LevelParameter(t->id, GL_TEXTURE_WIDTH), GLint(tw));
  EXPECT_EQ(LevelParameter(t->id, GL_TEXTURE_HEIGHT), GLint(th));
  EXPECT_EQ(LevelParameter(t->id, GL_TEXTURE_INTERNAL_FORMAT), GLint(format));
  const std::vector<uint8_t> got = ReadTexture(t->id, format, TexelBytes(format));
  const std::vector<uint8_t> want = Expected(img, tw, th, format);
  ASSERT_EQ(got.size(), want.size());
  size_t firstDiff = 0;
  while (firstDiff < got.size() && got[firstDiff] == want[firstDiff]) ++firstDiff;
  EXPECT_EQ(firstDiff, got.size()) << "first difference at byte " << firstDiff;
}

class TexMgrTest : public GLTest {
 protected:
  void SetUp() override {
    GLTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_TRUE(OpenWindow(64, 64));
    ASSERT_TRUE(m_finder.AddSource(m_dir.path().c_str()));
  }
  qvrtest::TempDir m_dir;
  QVRResFinder m_finder;
};

TEST_F(TexMgrTest, PaletteImagePaddedWithItsWarning) {
  QVRImage img = Noise(100, 60, 8);
  QVRPal* pal = new QVRPal(200);  // indices 200..255 lie past the palette: black
  for (unsigned i = 0; i < 200; ++i) pal->SetEntry(i, uint8_t(i), uint8_t(255 - i), uint8_t(i * 3));
  img.ReplacePalette(pal);
  const QVRImage before(&img);
  Q3DTexMgr mgr(m_finder, 4);
  AllLog log(QVR::LOG_WARN);
  Q3DTexture* t = mgr.LoadFromImage("pal", &img, GL_NEAREST, false, 0);
  EXPECT_EQ(log.Text(), "TexMgr: image resized (100 x 60 -> 128 x 64)\n");
  ExpectTexture(t, img, 128, 64, GL_RGB);
  EXPECT_EQ(t->filter, GL_NEAREST);
  EXPECT_EQ(t->wrap, GL_CLAMP);
  EXPECT_EQ(TexParameter(t->id, GL_TEXTURE_MIN_FILTER), GL_NEAREST);
  EXPECT_EQ(TexParameter(t->id, GL_TEXTURE_MAG_FILTER), GL_NEAREST);
  EXPECT_EQ(TexParameter(t->id, GL_TEXTURE_WRAP_S), GL_CLAMP);
  EXPECT_EQ(TexParameter(t->id, GL_TEXTURE_WRAP_T), GL_CLAMP);
  // LoadFromImage leaves the game's image as it was.
  EXPECT_EQ(img.GetWidth(), 100u);
  EXPECT_EQ(std::memcmp(img.GetPixels(), before.GetPixels(), 100 * 60), 0);
  const Q3DTexSlot* slot = mgr.GetSlot(0);
  EXPECT_EQ(slot->texture, t);
  EXPECT_STREQ(slot->name, "pal");
  EXPECT_EQ(slot->refCount, 1u);
  EXPECT_EQ(slot->source, Q3DTexMgr::SOURCE_IMAGE);
  EXPECT_EQ(mgr.GetNext(), 1u);
}

TEST_F(TexMgrTest, EightBitsWithoutPaletteAreGreyLevels) {
  QVRImage img = Noise(16, 8, 8, 3);
  ASSERT_EQ(img.GetPalette(), nullptr);
  Q3DTexMgr mgr(m_finder, 4);
  AllLog log(QVR::LOG_WARN);
  ExpectTexture(mgr.LoadFromImage("grey", &img, GL_LINEAR, true, GL_RGB), img, 16, 8, GL_RGB);
  EXPECT_EQ(log.Text(), "");
}

TEST_F(TexMgrTest, TwentyFourBitsReordered) {
  QVRImage img = Noise(64, 64, 24, 5);
  Q3DTexMgr mgr(m_finder, 4);
  AllLog log(QVR::LOG_WARN);
  Q3DTexture* t = mgr.LoadFromImage("rgb", &img, GL_LINEAR, true, 0);
  EXPECT_EQ(log.Text(), "");  // 64 x 64 is not resized
  ExpectTexture(t, img, 64, 64, GL_RGB);
  EXPECT_EQ(t->wrap, GL_REPEAT);
  EXPECT_EQ(TexParameter(t->id, GL_TEXTURE_WRAP_T), GL_REPEAT);
  EXPECT_EQ(TexParameter(t->id, GL_TEXTURE_MIN_FILTER), GL_LINEAR);
  QVRImage odd = Noise(33, 7, 24, 6);
  ExpectTexture(mgr.LoadFromImage("odd", &odd, GL_LINEAR, true, GL_RGBA), odd, 64, 8, GL_RGB);
}

TEST_F(TexMgrTest, ThirtyTwoBitsTransparencyBecomesAlpha) {
  QVRImage img = Noise(20, 10, 32, 7);
  img.GetPixels()[3] = 0;    // transparency 0: alpha 255
  img.GetPixels()[7] = 255;  // fully transparent: alpha 0
  Q3DTexMgr mgr(m_finder, 4);
  Q3DTexture* t = mgr.LoadFromImage("rgba", &img, GL_NEAREST, false, GL_RGBA);
  ExpectTexture(t, img, 32, 16, GL_RGBA);
  const std::vector<uint8_t> got = ReadTexture(t->id, GL_RGBA, 4);
  EXPECT_EQ(got[3], 255);
  EXPECT_EQ(got[7], 0);
  EXPECT_EQ(got[(31 * 4) + 3], 255);  // padding: opaque black
}

TEST_F(TexMgrTest, AlphaLuminanceAndLuminanceAlpha) {
  QVRImage img = Noise(30, 5, 8, 9);
  Q3DTexMgr mgr(m_finder, 4);
  ExpectTexture(mgr.LoadFromImage("a", &img, GL_NEAREST, false, GL_ALPHA), img, 32, 8, GL_ALPHA);
  ExpectTexture(mgr.LoadFromImage("l", &img, GL_NEAREST, false, GL_LUMINANCE), img, 32, 8,
                GL_LUMINANCE);
  ExpectTexture(mgr.LoadFromImage("la", &img, GL_NEAREST, false, GL_LUMINANCE_ALPHA), img, 32, 8,
                GL_LUMINANCE_ALPHA);
  // A palette does not matter to these layouts.
  QVRImage square = Noise(16, 16, 8, 10);
  QVRPal* pal = new QVRPal(256);
  pal->GenerateGreyScale(256);
  square.ReplacePalette(pal);
  ExpectTexture(mgr.LoadFromImage("sq", &square, GL_NEAREST, false, GL_LUMINANCE), square, 16, 16,
                GL_LUMINANCE);
}

TEST_F(TexMgrTest, AddInPlaceChangesTheImage) {
  QVRImage img = Noise(100, 60, 32, 11);
  const QVRImage original(&img);
  Q3DTexMgr mgr(m_finder, 4);
  QVR::SetLogLevel(0);
  const unsigned slot = mgr.Add("in", &img, GL_NEAREST, false, true, Q3DTexMgr::NONE, 0);
  QVR::SetLogLevel(100);
  ASSERT_EQ(slot, 0u);
  EXPECT_EQ(mgr.GetSlot(0)->source, Q3DTexMgr::SOURCE_ADD);
  ExpectTexture(mgr.GetSlot(0)->texture, original, 128, 64, GL_RGBA);
  // The canvas was enlarged and the pixels reordered in the image's buffer.
  ASSERT_EQ(img.GetWidth(), 128u);
  ASSERT_EQ(img.GetHeight(), 64u);
  const std::vector<uint8_t> want = Expected(original, 128, 64, GL_RGBA);
  EXPECT_EQ(std::memcmp(img.GetPixels(), want.data(), want.size()), 0);
  // Without inPlace the image is not touched.
  QVRImage other = Noise(100, 60, 24, 12);
  const QVRImage copy(&other);
  QVR::SetLogLevel(0);
  EXPECT_EQ(mgr.Add("out", &other, GL_NEAREST, false, false, Q3DTexMgr::NONE, 0), 1u);
  QVR::SetLogLevel(100);
  EXPECT_EQ(other.GetWidth(), 100u);
  EXPECT_EQ(std::memcmp(other.GetPixels(), copy.GetPixels(), 100 * 60 * 3), 0);
  ExpectTexture(mgr.GetSlot(1)->texture, copy, 128, 64, GL_RGB);
  // Add does not look the name up: a second slot of the same name.
  QVRImage again = Noise(8, 8, 24, 13);
  EXPECT_EQ(mgr.Add("out", &again, GL_NEAREST, false, false, Q3DTexMgr::NONE, 0), 2u);
  EXPECT_EQ(mgr.FindTexture("out"), 1u);
}

TEST_F(TexMgrTest, AddIntoAUsedSlotKeepsItsRecord) {
  Q3DTexMgr mgr(m_finder, 4);
  QVRImage a = Noise(8, 8, 24, 14), b = Noise(16, 4, 32, 15);
  Q3DTexture* t = mgr.LoadFromImage("a", &a, GL_NEAREST, false, 0);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(mgr.Add("ignored", &b, GL_LINEAR, true, false, 0, 0), 0u);
  EXPECT_EQ(mgr.GetSlot(0)->texture, t);
  EXPECT_STREQ(mgr.GetSlot(0)->name, "a");
  EXPECT_EQ(mgr.GetSlot(0)->source, Q3DTexMgr::SOURCE_IMAGE);
  ExpectTexture(t, b, 16, 4, GL_RGBA);
  EXPECT_EQ(t->filter, GL_LINEAR);
  EXPECT_EQ(t->wrap, GL_REPEAT);
  EXPECT_EQ(mgr.GetNext(), 1u);
}

TEST_F(TexMgrTest, FilesThroughTheFinder) {
  QVRImage rgb = Noise(40, 30, 24, 16);
  QVRImage rgba = Noise(64, 32, 32, 17);
  QVRImage pal = Noise(50, 20, 8, 18);
  QVRPal* entries = new QVRPal(256);
  for (unsigned i = 0; i < 256; ++i) entries->SetEntry(i, uint8_t(i), uint8_t(i / 2), uint8_t(~i));
  pal.ReplacePalette(entries);
  ASSERT_TRUE(qvrtest::SaveImageFile(rgb, m_dir / "rgb.tga", QVRImage::IMG_TGA));
  ASSERT_TRUE(qvrtest::SaveImageFile(rgba, m_dir / "rgba.tga", QVRImage::IMG_TGA_RLE));
  ASSERT_TRUE(qvrtest::SaveImageFile(pal, m_dir / "pal.bmp", QVRImage::IMG_BMP));
  ASSERT_TRUE(qvrtest::SaveImageFile(rgb, m_dir / "rgb.pcx", QVRImage::IMG_PCX));
  Q3DTexMgr mgr(m_finder, 4);
  QVR::SetLogLevel(0);
  Q3DTexture* a = mgr.LoadFromFile("rgb.tga", GL_NEAREST, false, 0);
  Q3DTexture* b = mgr.LoadFromFile("rgba.tga", GL_NEAREST, false, 0);
  Q3DTexture* c = mgr.LoadFromFile("pal.bmp", GL_NEAREST, false, 0);
  Q3DTexture* d = mgr.LoadFromFile("rgb.pcx", GL_NEAREST, false, GL_RGB);
  QVR::SetLogLevel(100);
  ExpectTexture(a, rgb, 64, 32, GL_RGB);
  ExpectTexture(b, rgba, 64, 32, GL_RGBA);
  ExpectTexture(c, pal, 64, 32, GL_RGB);
  ExpectTexture(d, rgb, 64, 32, GL_RGB);
  for (unsigned i = 0; i < 4; ++i) EXPECT_EQ(mgr.GetSlot(i)->source, Q3DTexMgr::SOURCE_FILE);
  // A file that is not an image gives null.
  ASSERT_TRUE(qvrtest::WriteAll(m_dir / "junk.tga", "not an image"));
  QVR::SetLogLevel(0);
  EXPECT_EQ(mgr.LoadFromFile("junk.tga", GL_NEAREST, false, 0), nullptr);
  QVR::SetLogLevel(100);
  EXPECT_EQ(mgr.FindTexture("junk.tga"), Q3DTexMgr::NONE);
}

TEST_F(TexMgrTest, ReferenceCounts) {
  QVRImage img = Noise(16, 16, 24, 19);
  ASSERT_TRUE(qvrtest::SaveImageFile(img, m_dir / "wall.tga", QVRImage::IMG_TGA));
  Q3DTexMgr mgr(m_finder, 4);
  Q3DTexture* t = mgr.LoadFromFile("wall.tga", GL_NEAREST, true, 0);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(mgr.LoadFromFile("wall.tga", GL_LINEAR, false, GL_LUMINANCE), t);  // same record
  EXPECT_EQ(mgr.GetSlot(0)->refCount, 2u);
  EXPECT_EQ(t->filter, GL_NEAREST);  // the second call changed nothing
  // The same name through LoadFromImage also counts.
  EXPECT_EQ(mgr.LoadFromImage("wall.tga", &img, GL_NEAREST, false, 0), t);
  EXPECT_EQ(mgr.GetSlot(0)->refCount, 3u);
  const GLuint id = t->id;
  EXPECT_TRUE(mgr.FreeTexture("wall.tga"));
  EXPECT_TRUE(mgr.FreeTexture(t));
  EXPECT_EQ(mgr.GetSlot(0)->refCount, 1u);
  EXPECT_TRUE(glIsTexture(id));
  EXPECT_EQ(mgr.GetTexture("wall.tga"), t);
  EXPECT_EQ(mgr.GetSlot(0)->refCount, 1u);  // GetTexture does not count
  EXPECT_TRUE(mgr.FreeTexture(id));
  EXPECT_FALSE(glIsTexture(id));
  EXPECT_EQ(mgr.GetSlot(0)->texture, nullptr);
  EXPECT_EQ(mgr.GetSlot(0)->name, nullptr);
  EXPECT_EQ(mgr.GetSlot(0)->refCount, 0u);
  EXPECT_FALSE(mgr.FreeTexture("wall.tga"));
  EXPECT_FALSE(mgr.FreeTexture(id));
  // A forced free ignores the count.
  Q3DTexture* u = mgr.LoadFromFile("wall.tga", GL_NEAREST, true, 0);
  mgr.LoadFromFile("wall.tga", GL_NEAREST, true, 0);
  ASSERT_NE(u, nullptr);
  EXPECT_TRUE(mgr.FreeTextureP(0, true));
  EXPECT_EQ(mgr.GetSlot(0)->texture, nullptr);
  // A free slot or an index past the table is refused and nothing changes.
  mgr.LoadFromFile("wall.tga", GL_NEAREST, true, 0);
  EXPECT_FALSE(mgr.FreeTextureP(1, false));
  EXPECT_FALSE(mgr.FreeTextureP(100, true));
  EXPECT_NE(mgr.GetSlot(0)->texture, nullptr);
  EXPECT_EQ(mgr.GetNext(), 1u);
}

TEST_F(TexMgrTest, LookupsById) {
  Q3DTexMgr mgr(m_finder, 4);
  QVRImage img = Noise(4, 4, 24, 20);
  Q3DTexture* a = mgr.LoadFromImage("a", &img, GL_NEAREST, false, 0);
  Q3DTexture* b = mgr.LoadFromImage("b", &img, GL_NEAREST, false, 0);
  ASSERT_TRUE(a && b);
  EXPECT_NE(a->id, b->id);
  EXPECT_EQ(mgr.GetTexture(b->id), b);
  EXPECT_STREQ(mgr.GetTextureName(a->id), "a");
  EXPECT_EQ(mgr.GetTextureName(9999u), nullptr);
  EXPECT_EQ(mgr.FindTexture("b"), 1u);
  EXPECT_EQ(mgr.FindTexture("B"), Q3DTexMgr::NONE);  // names are case-sensitive
}

TEST_F(TexMgrTest, AdoptedTextures) {
  GLuint id = 0;
  glGenTextures(1, &id);
  glBindTexture(GL_TEXTURE_2D, id);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
  std::vector<uint8_t> texels(32 * 16 * 4, 7);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 32, 16, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  Q3DTexMgr mgr(m_finder, 4);
  AllLog log;
  Q3DTexture* t = mgr.AddTexture("mine", id);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->id, id);
  EXPECT_EQ(t->width, 32);
  EXPECT_EQ(t->height, 16);
  EXPECT_EQ(t->format, unsigned(GL_RGBA));
  EXPECT_EQ(t->filter, GL_LINEAR);
  EXPECT_EQ(t->wrap, GL_CLAMP);
  EXPECT_EQ(mgr.AddTexture("mine", 12345), t);  // found by name first
  EXPECT_EQ(mgr.GetSlot(0)->refCount, 1u);      // and not counted
  EXPECT_EQ(mgr.GetSlot(0)->source, Q3DTexMgr::SOURCE_ADOPTED);
  EXPECT_EQ(mgr.AddTexture("bad", 12345), nullptr);
  EXPECT_EQ(mgr.AddTexture("zero", 0), nullptr);
  char want[200];
  std::snprintf(want, sizeof want,
                "TexMgr::AddTexture parameters : mine, 32 x 16, format: %d, filter: %d, "
                "repeat: %d\n",
                GL_RGBA, GL_LINEAR, GL_CLAMP);
  EXPECT_EQ(log.Text(), std::string(want) +
                            "TexMgr: invalid texture index 12345\n"
                            "TexMgr: invalid texture index 0\n");
  EXPECT_EQ(mgr.FindTexture("bad"), Q3DTexMgr::NONE);
  EXPECT_EQ(mgr.GetNext(), 1u);
}

TEST_F(TexMgrTest, TableGrowsByEight) {
  Q3DTexMgr mgr(m_finder, 4);
  QVRImage img = Noise(2, 2, 24, 21);
  std::vector<Q3DTexture*> records;
  for (int i = 0; i < 5; ++i) {
    const std::string name = "t" + std::to_string(i);
    records.push_back(mgr.LoadFromImage(name.c_str(), &img, GL_NEAREST, false, 0));
    ASSERT_NE(records.back(), nullptr);
  }
  EXPECT_EQ(mgr.GetCapacity(), 12u);
  EXPECT_EQ(mgr.GetNext(), 5u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(mgr.GetSlot(unsigned(i))->texture, records[size_t(i)]);  // copied over
    EXPECT_STREQ(mgr.GetSlot(unsigned(i))->name, ("t" + std::to_string(i)).c_str());
  }
  // A freed slot is taken again first.
  EXPECT_TRUE(mgr.FreeTexture("t1"));
  EXPECT_EQ(mgr.GetNext(), 1u);
  EXPECT_NE(mgr.LoadFromImage("again", &img, GL_NEAREST, false, 0), nullptr);
  EXPECT_STREQ(mgr.GetSlot(1)->name, "again");
  EXPECT_EQ(mgr.GetNext(), 5u);
  for (int i = 5; i < 13; ++i)
    ASSERT_NE(mgr.LoadFromImage(("u" + std::to_string(i)).c_str(), &img, GL_NEAREST, false, 0),
              nullptr);
  EXPECT_EQ(mgr.GetCapacity(), 20u);
}

TEST_F(TexMgrTest, DestructorDeletesEveryTexture) {
  QVRImage img = Noise(2, 2, 24, 22);
  std::vector<GLuint> ids;
  AllLog log;
  {
    Q3DTexMgr mgr(m_finder, 4);
    for (const char* name : {"a", "b", "c"})
      ids.push_back(mgr.LoadFromImage(name, &img, GL_NEAREST, false, 0)->id);
    mgr.LoadFromImage("a", &img, GL_NEAREST, false, 0);  // two holders: freed all the same
  }
  for (GLuint id : ids) EXPECT_FALSE(glIsTexture(id));
  const std::string text = log.Text();
  EXPECT_NE(text.find("~TexMgr: 3 textures deleted.\n"), std::string::npos) << text;
  EXPECT_NE(text.find(" -texture[0] a (2 x 2 x 24, id "), std::string::npos) << text;
}

TEST_F(TexMgrTest, TooLargeForTheDriver) {
  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  ASSERT_GT(maxSize, 0);
  Q3DTexMgr mgr(m_finder, 4);
  QVRImage img(unsigned(maxSize) + 1, 1, 8);
  ASSERT_NE(img.GetPixels(), nullptr);
  AllLog log;
  EXPECT_EQ(mgr.LoadFromImage("big", &img, GL_NEAREST, false, GL_ALPHA), nullptr);
  char want[80];
  std::snprintf(want, sizeof want, "TexMgr: image too large (%d x 1)\n", maxSize + 1);
  EXPECT_EQ(log.Text(), want);
  QVRImage wide(40000, 1, 8);
  AllLog again;
  EXPECT_EQ(mgr.LoadFromImage("wide", &wide, GL_NEAREST, false, GL_ALPHA), nullptr);
  EXPECT_EQ(again.Text(), "TexMgr: image too large (40000 x 1)\n");
}

TEST_F(TexMgrTest, UploadIgnoresTheGamesUnpackStateAndEarlierErrors) {
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 100);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 3);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
  glEnable(0x7FFF);  // leaves GL_INVALID_ENUM behind
  QVRImage img = Noise(6, 4, 24, 23);
  Q3DTexMgr mgr(m_finder, 4);
  QVR::SetLogLevel(0);
  Q3DTexture* t = mgr.LoadFromImage("t", &img, GL_NEAREST, false, 0);
  QVR::SetLogLevel(100);
  GLint rowLength = 0, skip = 0, alignment = 0;
  glGetIntegerv(GL_UNPACK_ROW_LENGTH, &rowLength);
  glGetIntegerv(GL_UNPACK_SKIP_PIXELS, &skip);
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  EXPECT_EQ(rowLength, 100);
  EXPECT_EQ(skip, 3);
  EXPECT_EQ(alignment, 1);  // left at 1 after the upload, as before
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  ExpectTexture(t, img, 8, 4, GL_RGB);
}

// ---- Context loss ------------------------------------------------------------

class ReloadTest : public TexMgrTest {
 protected:
  // A new video mode with another frame flag: SDL 1.2 makes a new window
  // and context (a change of size alone only resizes the window), and every
  // texture of the old context is gone.
  void LoseContext() {
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 0);
    ASSERT_TRUE(m_screen->Init(64, 64, SDL_NOFRAME, 32));
    Setup2D(64, 64);
  }
};

TEST_F(ReloadTest, FileTexturesKeepTheirSlotAndRecord) {
  QVRImage fileImage = Noise(40, 20, 32, 30);
  QVRImage other = Noise(8, 8, 24, 31);
  ASSERT_TRUE(qvrtest::SaveImageFile(fileImage, m_dir / "file.tga", QVRImage::IMG_TGA));
  ASSERT_TRUE(qvrtest::SaveImageFile(other, m_dir / "gone.tga", QVRImage::IMG_TGA));
  Q3DTexMgr mgr(m_finder, 4);
  QVR::SetLogLevel(0);
  Q3DTexture* file = mgr.LoadFromFile("file.tga", GL_LINEAR, true, 0);
  Q3DTexture* image = mgr.LoadFromImage("image", &other, GL_NEAREST, false, 0);
  GLuint own = 0;
  glGenTextures(1, &own);
  glBindTexture(GL_TEXTURE_2D, own);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 4, 4, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
  Q3DTexture* adopted = mgr.AddTexture("adopted", own);
  Q3DTexture* gone = mgr.LoadFromFile("gone.tga", GL_NEAREST, false, 0);
  Q3DTexture* added = mgr.LoadFromFile("file.tga", GL_LINEAR, true, 0);  // second holder
  QVR::SetLogLevel(100);
  ASSERT_TRUE(file && image && adopted && gone);
  ASSERT_EQ(added, file);
  const GLuint oldIds[4] = {file->id, image->id, adopted->id, gone->id};

  // Nothing lost yet: ReloadTextures changes nothing.
  {
    AllLog log;
    mgr.ReloadTextures();
    EXPECT_EQ(log.Text(), "");
    EXPECT_EQ(file->id, oldIds[0]);
  }

  LoseContext();
  for (GLuint id : oldIds) EXPECT_FALSE(glIsTexture(id)) << id;
  ASSERT_TRUE(std::remove((m_dir / "gone.tga").c_str()) == 0);
  AllLog log(QVR::LOG_WARN);
  mgr.ReloadTextures();
  EXPECT_EQ(log.Text(),
            "TexMgr: image resized (40 x 20 -> 64 x 32)\n"  // the file, loaded again
            "Reload texture: can not reload image\n"
            "Reload texture: can not reload adopted\n"
            "Reload texture failed gone.tga\n");
  EXPECT_EQ(mgr.GetSlot(0)->texture, file);  // same slot, same record
  EXPECT_STREQ(mgr.GetSlot(0)->name, "file.tga");
  EXPECT_EQ(mgr.GetSlot(0)->refCount, 2u);
  EXPECT_EQ(mgr.GetSlot(0)->source, Q3DTexMgr::SOURCE_FILE);
  ExpectTexture(file, fileImage, 64, 32, GL_RGBA);
  EXPECT_EQ(file->filter, GL_LINEAR);
  EXPECT_EQ(file->wrap, GL_REPEAT);
  EXPECT_EQ(TexParameter(file->id, GL_TEXTURE_WRAP_S), GL_REPEAT);
  for (unsigned i = 1; i < 4; ++i) EXPECT_EQ(mgr.GetSlot(i)->texture, nullptr) << i;
  EXPECT_EQ(mgr.FindTexture("image"), Q3DTexMgr::NONE);
  EXPECT_EQ(mgr.GetNext(), 1u);
}

}  // namespace
