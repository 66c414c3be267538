// Q3DTexMgr without a context: the table's start, growth and lookups, and
// every refusal of Add that comes before the upload (they make no OpenGL
// call, create no slot and leave the image unchanged).
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstring>
#include <string>

#include "gl/gl_helpers.h"
#include "qvr3d/image.h"
#include "qvr3d/resfinder.h"
#include "qvr3d/texmgr.h"

namespace {

using qvrtest::AllLog;

bool SameImage(const QVRImage& a, const QVRImage& b) {
  return a.GetWidth() == b.GetWidth() && a.GetHeight() == b.GetHeight() &&
         a.GetBpp() == b.GetBpp() &&
         std::memcmp(a.GetPixels(), b.GetPixels(), size_t(a.GetPitch()) * a.GetHeight()) == 0;
}

QVRImage Filled(unsigned w, unsigned h, unsigned bpp) {
  QVRImage img(w, h, bpp);
  for (size_t i = 0; i < size_t(img.GetPitch()) * h; ++i) img.GetPixels()[i] = uint8_t(i * 7);
  return img;
}

TEST(Q3DTexMgrTable, CapacityIsAtLeastFour) {
  QVRResFinder finder;
  Q3DTexMgr small(finder, 1);
  EXPECT_EQ(small.GetCapacity(), 4u);
  EXPECT_EQ(small.GetNext(), 0u);
  Q3DTexMgr big(finder, 40);
  EXPECT_EQ(big.GetCapacity(), 40u);
  for (unsigned i = 0; i < 40; ++i) {
    const Q3DTexSlot* slot = big.GetSlot(i);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->refCount, 0u);
    EXPECT_EQ(slot->name, nullptr);
    EXPECT_EQ(slot->texture, nullptr);
  }
  EXPECT_EQ(big.GetSlot(40), nullptr);
  big.Realloc(20);  // never shrinks
  EXPECT_EQ(big.GetCapacity(), 40u);
  big.Realloc(50);
  EXPECT_EQ(big.GetCapacity(), 50u);
  EXPECT_EQ(big.GetSlot(49)->texture, nullptr);
}

TEST(Q3DTexMgrTable, LookupsOfAnEmptyTable) {
  QVRResFinder finder;
  Q3DTexMgr mgr(finder, 4);
  EXPECT_EQ(mgr.FindTexture("a"), Q3DTexMgr::NONE);
  EXPECT_EQ(mgr.FindTexture(nullptr), Q3DTexMgr::NONE);
  EXPECT_EQ(mgr.GetTexture("a"), nullptr);
  EXPECT_EQ(mgr.GetTexture(1u), nullptr);
  EXPECT_EQ(mgr.GetTextureName(1u), nullptr);
  EXPECT_FALSE(mgr.FreeTexture("a"));
  EXPECT_FALSE(mgr.FreeTexture(static_cast<const char*>(nullptr)));
  EXPECT_FALSE(mgr.FreeTexture(static_cast<Q3DTexture*>(nullptr)));
  EXPECT_FALSE(mgr.FreeTexture(0u));
  EXPECT_FALSE(mgr.FreeTexture(7u));
}

TEST(Q3DTexMgrTable, FreeTexturePRefusesFreeAndOutOfRangeSlots) {
  QVRResFinder finder;
  Q3DTexMgr mgr(finder, 4);
  EXPECT_FALSE(mgr.FreeTextureP(0, false));
  EXPECT_FALSE(mgr.FreeTextureP(3, true));
  EXPECT_FALSE(mgr.FreeTextureP(4, true));
  EXPECT_FALSE(mgr.FreeTextureP(Q3DTexMgr::NONE, true));
  EXPECT_EQ(mgr.GetNext(), 0u);
}

TEST(Q3DTexMgrTable, MissingFileGivesNullSilently) {
  qvrtest::TempDir dir;
  QVRResFinder finder;
  ASSERT_TRUE(finder.AddSource(dir.path().c_str()));
  Q3DTexMgr mgr(finder, 4);
  AllLog log(QVR::LOG_LOG);  // the stream's own open failure is a DBG line
  EXPECT_EQ(mgr.LoadFromFile("none.tga", GL_NEAREST, false, 0), nullptr);
  EXPECT_EQ(mgr.LoadFromFile(nullptr, GL_NEAREST, false, 0), nullptr);
  EXPECT_EQ(mgr.LoadFromImage("img", nullptr, GL_NEAREST, false, 0), nullptr);
  EXPECT_EQ(log.Text(), "");
}

struct Refusal {
  unsigned bpp;
  unsigned format;
  const char* message;
};

class Q3DTexMgrRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(Q3DTexMgrRefusal, FailsBeforeTheUploadWithItsMessage) {
  const Refusal& r = GetParam();
  QVRResFinder finder;
  Q3DTexMgr mgr(finder, 4);
  // 100 x 60 would be padded: the image must stay as it was all the same.
  for (bool inPlace : {false, true}) {
    QVRImage img = Filled(100, 60, r.bpp);
    const QVRImage before(&img);
    AllLog log;
    EXPECT_EQ(mgr.Add("t", &img, GL_NEAREST, false, inPlace, Q3DTexMgr::NONE, r.format),
              Q3DTexMgr::NONE);
    EXPECT_EQ(log.Text(), r.message);
    EXPECT_TRUE(SameImage(img, before));
    EXPECT_EQ(mgr.GetSlot(0)->texture, nullptr);
    EXPECT_EQ(mgr.GetNext(), 0u);
  }
  QVRImage img = Filled(100, 60, r.bpp);
  AllLog log;
  EXPECT_EQ(mgr.LoadFromImage("t", &img, GL_NEAREST, false, r.format), nullptr);
  EXPECT_EQ(log.Text(), r.message);
  EXPECT_EQ(mgr.FindTexture("t"), Q3DTexMgr::NONE);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, Q3DTexMgrRefusal,
    ::testing::Values(
        Refusal{24, GL_LUMINANCE_ALPHA,
                "TexMgr: warning GL_LUMINANCE_ALPHA requested for a 24 bits image.\n"},
        Refusal{32, GL_ALPHA,
                "TexMgr: warning GL_LUMINANCE or GL_ALPHA requested for a 32 bits image.\n"},
        Refusal{16, GL_LUMINANCE,
                "TexMgr: warning GL_LUMINANCE or GL_ALPHA requested for a 16 bits image.\n"},
        Refusal{16, 0, "TexMgr: image format = 16 bits, not supported.\n"},
        Refusal{15, GL_RGBA, "TexMgr: image format = 16 bits, not supported.\n"},
        Refusal{24, GL_BGR, "TexMgr: format not supported (32992)\n"},
        Refusal{8, 1, "TexMgr: format not supported (1)\n"},
        Refusal{40, 0, "TexMgr: format not supported (40)\n"},
        Refusal{64, GL_RGB, "TexMgr: format not supported (64)\n"}));

TEST(Q3DTexMgrTable, RefusesImagesWithoutPixelsAndUnusedSlots) {
  QVRResFinder finder;
  Q3DTexMgr mgr(finder, 4);
  QVRImage empty;
  AllLog log;
  EXPECT_EQ(mgr.Add("e", &empty, GL_NEAREST, false, true, Q3DTexMgr::NONE, 0), Q3DTexMgr::NONE);
  EXPECT_EQ(mgr.Add("e", nullptr, GL_NEAREST, false, true, Q3DTexMgr::NONE, 0), Q3DTexMgr::NONE);
  QVRImage img = Filled(4, 4, 24);
  EXPECT_EQ(mgr.Add("e", &img, GL_NEAREST, false, true, 2, 0), Q3DTexMgr::NONE);
  EXPECT_EQ(mgr.Add("e", &img, GL_NEAREST, false, true, 9, 0), Q3DTexMgr::NONE);
  EXPECT_EQ(mgr.Add(nullptr, &img, GL_NEAREST, false, true, Q3DTexMgr::NONE, 0), Q3DTexMgr::NONE);
  EXPECT_EQ(log.Text(),
            "TexMgr: no image for e\nTexMgr: no image for e\n"
            "TexMgr: no texture in slot 2\nTexMgr: no texture in slot 9\n");
  EXPECT_EQ(mgr.GetNext(), 0u);
}

}  // namespace
