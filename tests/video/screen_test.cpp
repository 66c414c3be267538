// QVRScreen on SDL's dummy driver: every drawing operation against the same
// operation on a QVRImage, palettes and fades, ScreenFormat, screenshots
// decoded by ImageMagick, clipping, Refresh and the video mode itself.
#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "common/tmpdir.h"
#include "image/magick.h"
#include "qvr3d/image.h"
#include "qvr3d/pal.h"
#include "qvr3d/screen.h"
#include "video/sdl_spy.h"

using qvrtest::Spy;

namespace {

// Odd width: the surface pitch is padded beyond width x bytes per pixel at
// 8 and 24 bits, the image pitch never is.
constexpr unsigned kW = 61, kH = 37;

class ScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    Spy().Clear();
  }
  void TearDown() override {
    delete QVRScreen::m_instance;
    EXPECT_EQ(QVRScreen::m_instance, nullptr);
  }
  // The screen opened at kW x kH x bpp.
  QVRScreen* Open(unsigned bpp, unsigned w = kW, unsigned h = kH) {
    QVRScreen* screen = QVRScreen::Singleton();
    EXPECT_TRUE(screen->Init(w, h, 0, bpp));
    EXPECT_NE(screen->GetSurface(), nullptr);
    if (screen->GetSurface() != nullptr) {
      EXPECT_EQ(screen->GetSurface()->format->BitsPerPixel, bpp);
    }
    return screen;
  }
};

// The surface's pixels, row after row without the pitch padding.
std::string SurfaceBytes(SDL_Surface* s) {
  std::string out;
  SDL_LockSurface(s);
  const size_t row = size_t(s->w) * s->format->BytesPerPixel;
  for (int y = 0; y < s->h; ++y)
    out.append(static_cast<const char*>(s->pixels) + size_t(y) * s->pitch, row);
  SDL_UnlockSurface(s);
  return out;
}

std::string ImageBytes(const QVRImage& img) {
  return std::string(reinterpret_cast<const char*>(img.GetPixels()),
                     size_t(img.GetPitch()) * img.GetHeight());
}

// The same pseudo-random bytes into the surface and into the image.
void FillBoth(SDL_Surface* s, QVRImage& img, unsigned seed) {
  uint32_t state = seed * 2654435761u + 7;
  SDL_LockSurface(s);
  const size_t row = size_t(s->w) * s->format->BytesPerPixel;
  for (int y = 0; y < s->h; ++y) {
    uint8_t* to = static_cast<uint8_t*>(s->pixels) + size_t(y) * s->pitch;
    for (size_t i = 0; i < row; ++i) {
      state = state * 1103515245u + 12345u;
      to[i] = img.GetPixels()[size_t(y) * img.GetPitch() + i] = uint8_t(state >> 16);
    }
  }
  SDL_UnlockSurface(s);
}

// A source image of `bpp` bits whose pixels are `key` in runs of 1 to 12
// pixels, about half of them, and random elsewhere.
std::unique_ptr<QVRImage> KeyedSource(unsigned bpp, unsigned w, unsigned h, uint32_t key) {
  auto img = std::make_unique<QVRImage>(w, h, bpp);
  uint32_t state = 99;
  const unsigned Bpp = img->GetBytesPerPixel();
  for (unsigned y = 0; y < h; ++y) {
    uint8_t* row = img->GetPixels() + size_t(y) * img->GetPitch();
    unsigned x = 0;
    bool keyed = false;
    while (x < w) {
      state = state * 1103515245u + 12345u;
      unsigned run = 1 + (state >> 16) % 12;
      for (unsigned i = 0; i < run && x < w; ++i, ++x) {
        state = state * 1103515245u + 12345u;
        uint32_t c = keyed ? key : state >> 8;
        for (unsigned b = 0; b < Bpp; ++b) row[x * Bpp + b] = uint8_t(c >> (8 * b));
      }
      keyed = !keyed;
    }
  }
  return img;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

uint32_t Colour(unsigned bpp) {
  return bpp == 8 ? 0x5A : bpp == 16 ? 0x1234 : bpp == 24 ? 0x123456 : 0x12345678;
}

TEST_F(ScreenTest, DrawingMatchesTheImagePrimitivesByteForByteAtEveryDepth) {
  for (unsigned bpp : {8u, 16u, 24u, 32u}) {
    SCOPED_TRACE("bpp " + std::to_string(bpp));
    QVRScreen* screen = Open(bpp);
    SDL_Surface* s = screen->GetSurface();
    ASSERT_NE(s, nullptr);
    QVRImage img(kW, kH, bpp);
    FillBoth(s, img, bpp);
    ASSERT_EQ(SurfaceBytes(s), ImageBytes(img));
    const uint32_t c = Colour(bpp), key = bpp == 8 ? 0x33 : 0x00ABCDEF & ((1ull << bpp) - 1);
    auto src = KeyedSource(bpp, 70, 50, key);
    QVRImage other(20, 20, bpp == 8 ? 32 : 8);
    other.Rectangle(0, 0, 20, 20, 1);

    auto both = [&](const char* what, const std::function<void(QVRScreen&)>& onScreen,
                    const std::function<void(QVRImage&)>& onImage) {
      onScreen(*screen);
      onImage(img);
      ASSERT_EQ(SurfaceBytes(s), ImageBytes(img)) << what;
    };
    using S = QVRScreen;
    using I = QVRImage;
    const S::DrawMode SX = S::DRAW_XOR;
    const I::DrawMode IX = I::DRAW_XOR;
    both(
        "clip", [](S& t) { t.SetClipping(55, 33, 3, 2); },
        [](I& t) { t.SetClipping(3, 2, 55, 33); });
    for (int x : {-1, 0, 3, 10, 55, 56, 60, 61}) {
      for (int y : {-1, 0, 2, 10, 33, 34, 36, 37}) {
        both(
            "put", [&](S& t) { t.PutPixel(x, y, c); }, [&](I& t) { t.HLine(x, y, 1, c); });
        both(
            "xor", [&](S& t) { t.XorPixel(x, y + 1, c); },
            [&](I& t) { t.HLine(x, y + 1, 1, c, IX); });
      }
    }
    for (uint32_t colour : {c, 0u, 0xFFFFFFFFu, 0x01010101u}) {
      both(
          "hline", [&](S& t) { t.HLine(-5, 4, 30, colour); },
          [&](I& t) { t.HLine(-5, 4, 30, colour); });
      both(
          "hline long", [&](S& t) { t.HLine(50, 5, 100, colour, SX); },
          [&](I& t) { t.HLine(50, 5, 100, colour, IX); });
      both(
          "hline above clip", [&](S& t) { t.HLine(4, 1, 10, colour); },
          [&](I& t) { t.HLine(4, 1, 10, colour); });
      both(
          "hline empty", [&](S& t) { t.HLine(4, 6, 0, colour); },
          [&](I& t) { t.HLine(4, 6, 0, colour); });
      both(
          "vline", [&](S& t) { t.VLine(5, -10, 30, colour); },
          [&](I& t) { t.VLine(5, -10, 30, colour); });
      both(
          "vline xor", [&](S& t) { t.VLine(55, 20, 100, colour, SX); },
          [&](I& t) { t.VLine(55, 20, 100, colour, IX); });
      both(
          "frame", [&](S& t) { t.Frame(1, 1, 40, 20, colour); },
          [&](I& t) { t.Frame(1, 1, 40, 20, colour); });
      both(
          "frame thin", [&](S& t) { t.Frame(10, 10, 1, 5, colour, SX); },
          [&](I& t) { t.Frame(10, 10, 1, 5, colour, IX); });
      both(
          "frame over edge", [&](S& t) { t.Frame(20, 20, 300, 300, colour, SX); },
          [&](I& t) { t.Frame(20, 20, 300, 300, colour, IX); });
    }
    both(
        "move down", [](S& t) { t.MoveInside(0, 0, 30, 20, 5, 3); },
        [](I& t) { t.MoveInside(0, 0, 30, 20, 5, 3); });
    both(
        "move up", [](S& t) { t.MoveInside(10, 10, 40, 20, 2, 4); },
        [](I& t) { t.MoveInside(10, 10, 40, 20, 2, 4); });
    both(
        "move out", [](S& t) { t.MoveInside(-1, 0, 10, 10, 5, 5); },
        [](I& t) { t.MoveInside(-1, 0, 10, 10, 5, 5); });
    both(
        "copy", [&](S& t) { t.CopyImage(-4, -3, src.get(), 0, 0, 40, 30); },
        [&](I& t) { t.CopyImage(-4, -3, src.get(), 0, 0, 40, 30); });
    both(
        "copy far", [&](S& t) { t.CopyImage(40, 20, src.get(), 5, 5, 100, 100); },
        [&](I& t) { t.CopyImage(40, 20, src.get(), 5, 5, 100, 100); });
    both(
        "copy other depth", [&](S& t) { t.CopyImage(0, 0, &other, 0, 0, 20, 20); }, [](I&) {});
    both(
        "copy null", [&](S& t) { t.CopyImage(0, 0, nullptr, 0, 0, 20, 20); }, [](I&) {});
    both(
        "keyed copy", [&](S& t) { t.TCopyImage(-7, 8, key, src.get(), 2, 1, 70, 30); },
        [&](I& t) { t.TCopyImage(-7, 8, key, src.get(), 2, 1, 70, 30); });
    both(
        "keyed copy, other key", [&](S& t) { t.TCopyImage(3, 2, c, src.get(), 0, 0, 70, 50); },
        [&](I& t) { t.TCopyImage(3, 2, c, src.get(), 0, 0, 70, 50); });
    for (int y = -1; y <= int(kH); ++y)
      for (int x = -1; x <= int(kW); ++x)
        ASSERT_EQ(screen->GetPixel(x, y), img.GetPixel(x, y)) << x << "," << y;
    delete screen;
  }
}

TEST_F(ScreenTest, PixelsFollowTheColourConventionsAndTheClipRectangle) {
  QVRScreen* screen = Open(24);
  SDL_Surface* s = screen->GetSurface();
  screen->BlackOut();
  screen->PutPixel(1, 1, 0x123456);
  const uint8_t* p = static_cast<uint8_t*>(s->pixels) + s->pitch + 3;
  EXPECT_EQ(p[0], 0x56);
  EXPECT_EQ(p[1], 0x34);
  EXPECT_EQ(p[2], 0x12);
  EXPECT_EQ(screen->GetPixel(1, 1), 0x563412u);
  screen->XorPixel(1, 1, 0);
  EXPECT_EQ(screen->GetPixel(1, 1), 0xA9CBEDu);
  screen->PutPixel(4, kH - 1, 0x010203);
  EXPECT_EQ(screen->GetPixel(4, kH - 1), 0x030201u);
  EXPECT_EQ(screen->GetPixel(4, kH), 0u);
  EXPECT_EQ(screen->GetPixel(-1, 0), 0u);

  screen->SetClipping(10, 10, 5, 5);
  EXPECT_EQ(s->clip_rect.x, 5);
  EXPECT_EQ(s->clip_rect.y, 5);
  EXPECT_EQ(s->clip_rect.w, 6);
  EXPECT_EQ(s->clip_rect.h, 6);
  screen->PutPixel(4, 5, 0xFFFFFF);
  screen->PutPixel(11, 5, 0xFFFFFF);
  screen->PutPixel(10, 10, 0xFFFFFF);
  EXPECT_EQ(screen->GetPixel(4, 5), 0u);
  EXPECT_EQ(screen->GetPixel(11, 5), 0u);
  EXPECT_EQ(screen->GetPixel(10, 10), 0xFFFFFFu);
  // Corners far outside the surface must not wrap in SDL's 16-bit fields.
  screen->SetClipping(-100000, -5, 70000, 100000);
  EXPECT_EQ(s->clip_rect.x, 0);
  EXPECT_EQ(s->clip_rect.y, 0);
  EXPECT_EQ(s->clip_rect.w, kW);
  EXPECT_EQ(s->clip_rect.h, kH);
  // Wholly outside: nothing at all is drawn.
  screen->SetClipping(100, 100, 200, 200);
  const std::string before = SurfaceBytes(s);
  screen->HLine(0, 0, kW, 0xFFFFFF);
  screen->PutPixel(0, 1, 0xFFFFFF);
  EXPECT_EQ(SurfaceBytes(s), before);
}

TEST_F(ScreenTest, WithoutSurfaceEverythingIsQuiet) {
  QVRScreen* screen = QVRScreen::Singleton();
  EXPECT_EQ(QVRScreen::Singleton(), screen);
  QVRImage img(4, 4, 8);
  QVRPal pal(16);
  screen->PutPixel(0, 0, 1);
  screen->HLine(0, 0, 10, 1);
  screen->CopyImage(0, 0, &img, 0, 0, 4, 4);
  screen->SetClipping(0, 0, 1, 1);
  screen->Refresh(0, 0, 10, 10);
  screen->FadeIn(&pal, 16);
  screen->FadeOut(16);
  screen->BlackOut();
  screen->Flip();
  EXPECT_EQ(screen->GetPixel(0, 0), 0u);
  EXPECT_EQ(screen->GetPalette(), nullptr);
  EXPECT_EQ(screen->ScreenFormat(&img), nullptr);
  EXPECT_FALSE(screen->Resize(10, 10));
  EXPECT_FALSE(screen->BMPScreenshot("nothing"));
  EXPECT_TRUE(Spy().palette.empty());
  EXPECT_TRUE(Spy().updates.empty());
}

TEST_F(ScreenTest, InitDropsResizableBesideFullScreenAndKeepsOneCursor) {
  QVRScreen* screen = QVRScreen::Singleton();
  ASSERT_TRUE(screen->Init(64, 48, SDL_FULLSCREEN | SDL_RESIZABLE, 8));
  EXPECT_NE(screen->GetSurface()->flags & SDL_FULLSCREEN, 0u);
  EXPECT_EQ(screen->GetSurface()->flags & SDL_RESIZABLE, 0u);
  EXPECT_FALSE(screen->Resize(32, 32));
  // sdl12-compat's dummy driver makes no cursors; the next Init tries again.
  SDL_Cursor* cursor = QVRScreen::m_cursor;
  if (!qvrtest::SdlCompat() || cursor != nullptr) {
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(SDL_GetCursor(), cursor);
    EXPECT_EQ(cursor->area.w, 16);
    EXPECT_EQ(cursor->hot_x, 1);
    EXPECT_EQ(cursor->hot_y, 1);
  }
  ASSERT_TRUE(screen->Init(32, 24, 0, 32));
  EXPECT_EQ(QVRScreen::m_cursor, cursor);
  EXPECT_EQ(screen->GetSurface()->w, 32);
  EXPECT_FALSE(screen->Resize(64, 64));  // not resizable
  // Asked for, SDL_RESIZABLE counts even where the driver does not report it.
  ASSERT_TRUE(screen->Init(32, 24, SDL_RESIZABLE, 32));
  ASSERT_TRUE(screen->Resize(40, 30));
  EXPECT_EQ(screen->GetSurface()->w, 40);
  EXPECT_EQ(screen->GetSurface()->h, 30);
  EXPECT_EQ(screen->GetSurface()->format->BitsPerPixel, 32);
  screen->SetNames("The title", nullptr);
  char* title = nullptr;
  char* icon = nullptr;
  SDL_WM_GetCaption(&title, &icon);
  EXPECT_STREQ(title, "The title");
  EXPECT_STREQ(icon, "The title");
  screen->SetNames("A", "B");
  SDL_WM_GetCaption(&title, &icon);
  EXPECT_STREQ(icon, "B");
  delete screen;
  EXPECT_EQ(QVRScreen::m_cursor, nullptr);
}

TEST_F(ScreenTest, PalettesAreReadAndSetWithinTheEntriesGiven) {
  QVRScreen* screen = Open(8);
  QVRPal pal(256);
  for (unsigned i = 0; i < 256; ++i) pal.SetEntry(i, uint8_t(i), uint8_t(255 - i), uint8_t(i / 2));
  screen->ReplacePalette(&pal);
  std::unique_ptr<QVRPal> read(screen->GetPalette());
  ASSERT_NE(read, nullptr);
  ASSERT_EQ(read->GetCount(), 256u);
  for (unsigned i = 0; i < 256; ++i) {
    EXPECT_EQ(read->Entry(i)[0], i);
    EXPECT_EQ(read->Entry(i)[1], 255 - i);
  }
  QVRPal small(4);
  for (unsigned i = 0; i < 4; ++i) small.SetEntry(i, 1, 2, 3);
  screen->SetPalette(&small, 2, 100);  // only entries 2 and 3 exist in `small`
  screen->SetPalette(&small, 4, 10);   // none
  screen->SetPalette(nullptr, 0, 10);
  read.reset(screen->GetPalette());
  EXPECT_EQ(read->Entry(1)[0], 1);  // unchanged
  EXPECT_EQ(read->Entry(2)[0], 1);
  EXPECT_EQ(read->Entry(3)[2], 3);
  EXPECT_EQ(read->Entry(4)[0], 4);  // unchanged

  screen->HLine(0, 0, kW, 9);
  screen->BlackOut();
  read.reset(screen->GetPalette());
  for (unsigned i = 0; i < 256; ++i)
    EXPECT_EQ(read->Entry(i)[0] | read->Entry(i)[1] | read->Entry(i)[2], 0);
  EXPECT_EQ(screen->GetPixel(5, 0), 0u);

  Open(32);
  Spy().palette.clear();
  EXPECT_EQ(screen->GetPalette(), nullptr);
  screen->SetPalette(&pal, 0, 256);
  screen->FadeIn(&pal, 16);
  screen->FadeOut(16);
  EXPECT_TRUE(Spy().palette.empty());
}

TEST_F(ScreenTest, FadesCountTheirPhysicalAndFinalPaletteUpdates) {
  QVRScreen* screen = Open(8);
  QVRPal target(256);
  for (unsigned i = 0; i < 256; ++i) target.SetEntry(i, uint8_t(i), uint8_t(255 - i), 200, 7);
  Spy().palette.clear();
  screen->FadeIn(&target, 16);
  ASSERT_EQ(Spy().palette.size(), 18u);
  for (unsigned step = 0; step <= 16; ++step) {
    const qvrtest::PaletteCall& call = Spy().palette[step];
    EXPECT_EQ(call.flags, SDL_PHYSPAL);
    ASSERT_EQ(call.colours.size(), 256u);
    EXPECT_EQ(call.colours[100].r, (100 * step) >> 4);
    EXPECT_EQ(call.colours[100].g, (155 * step) >> 4);
    EXPECT_EQ(call.colours[100].b, (200 * step) >> 4);
    EXPECT_EQ(call.colours[100].unused, 7);
  }
  EXPECT_EQ(Spy().palette[17].flags, SDL_LOGPAL | SDL_PHYSPAL);
  EXPECT_EQ(Spy().palette[17].colours[255].r, 255);
  std::unique_ptr<QVRPal> now(screen->GetPalette());
  EXPECT_EQ(now->Entry(42)[1], 255 - 42);

  Spy().palette.clear();
  screen->FadeOut(16);
  ASSERT_EQ(Spy().palette.size(), 17u);
  EXPECT_EQ(Spy().palette[0].colours[100].r, (100 * 15) >> 4);
  for (unsigned i = 0; i < 16; ++i) EXPECT_EQ(Spy().palette[i].flags, SDL_PHYSPAL);
  EXPECT_EQ(Spy().palette[16].flags, SDL_LOGPAL | SDL_PHYSPAL);
  for (const SDL_Color& col : Spy().palette[16].colours) EXPECT_EQ(col.r | col.g | col.b, 0);
  now.reset(screen->GetPalette());
  EXPECT_EQ(now->Entry(200)[0], 0);

  // Steps: the largest power of two not above the speed, at least 2; the
  // speed is an unsigned byte.
  struct Case {
    char speed;
    size_t in, out;
  };
  for (Case c :
       {Case{0, 4, 3}, Case{3, 4, 3}, Case{4, 6, 5}, Case{127, 66, 65}, Case{char(-1), 130, 129}}) {
    SCOPED_TRACE(int(c.speed));
    Spy().palette.clear();
    screen->FadeIn(&target, c.speed);
    EXPECT_EQ(Spy().palette.size(), c.in);
    Spy().palette.clear();
    screen->FadeOut(c.speed);
    EXPECT_EQ(Spy().palette.size(), c.out);
  }
  // A short target fades only its own entries.
  QVRPal few(10);
  Spy().palette.clear();
  screen->FadeIn(&few, 2);
  ASSERT_EQ(Spy().palette.size(), 4u);
  EXPECT_EQ(Spy().palette[0].colours.size(), 10u);
  Spy().palette.clear();
  screen->FadeIn(nullptr, 2);
  EXPECT_TRUE(Spy().palette.empty());
}

TEST_F(ScreenTest, ScreenFormatConvertsToTheScreenDepth) {
  QVRScreen* screen = Open(32);
  QVRImage same(8, 8, 32);
  EXPECT_EQ(screen->ScreenFormat(&same), &same);
  EXPECT_EQ(screen->ScreenFormat(nullptr), nullptr);
  QVRImage empty;
  EXPECT_EQ(screen->ScreenFormat(&empty), nullptr);

  QVRImage indexed(19, 7, 8);
  QVRPal pal(256);
  for (unsigned i = 0; i < 256; ++i)
    pal.SetEntry(i, uint8_t(i * 3), uint8_t(i ^ 0x5A), uint8_t(255 - i));
  indexed.ReplacePalette(new QVRPal(&pal));
  for (unsigned y = 0; y < 7; ++y)
    for (unsigned x = 0; x < 19; ++x) indexed.GetPixels()[y * 19 + x] = uint8_t(x * 13 + y * 37);
  std::unique_ptr<QVRImage> deep(screen->ScreenFormat(&indexed));
  ASSERT_NE(deep, nullptr);
  EXPECT_EQ(deep->GetBpp(), 32u);
  EXPECT_EQ(deep->GetPalette(), nullptr);
  for (unsigned y = 0; y < 7; ++y)
    for (unsigned x = 0; x < 19; ++x) {
      const uint8_t* e = pal.Entry(uint8_t(x * 13 + y * 37));
      EXPECT_EQ(deep->GetPixel(int(x), int(y)) & 0xFFFFFF, uint32_t(e[0]) << 16 | e[1] << 8 | e[2]);
    }
  QVRImage rgb(5, 3, 24);
  rgb.Rectangle(0, 0, 5, 3, 0x102030);
  deep.reset(screen->ScreenFormat(&rgb));
  ASSERT_NE(deep, nullptr);
  EXPECT_EQ(deep->GetPixel(4, 2) & 0xFFFFFF, 0x102030u);
  QVRImage hi(5, 3, 16);
  hi.Rectangle(0, 0, 5, 3, 0xF800);  // pure red in 5-6-5
  deep.reset(screen->ScreenFormat(&hi));
  ASSERT_NE(deep, nullptr);
  EXPECT_EQ(deep->GetPixel(0, 0) & 0xF8F8F8, 0xF80000u);

  // To an 8-bit screen: indices into the screen palette, which comes along.
  // SDL maps deep colours through their 3-3-2 bits, so the screen gets the
  // 3-3-2 palette, in which every such colour has its exact entry.
  Open(8);
  QVRPal rgb332(256);
  for (unsigned i = 0; i < 256; ++i)
    rgb332.SetEntry(i, uint8_t((i >> 5) * 255 / 7), uint8_t(((i >> 2) & 7) * 255 / 7),
                    uint8_t((i & 3) * 85), uint8_t(i));
  screen->ReplacePalette(&rgb332);
  QVRImage truecolour(16, 2, 32);
  for (unsigned x = 0; x < 16; ++x) {
    const uint8_t* e = rgb332.Entry(x * 17);
    truecolour.VLine(int(x), 0, 2, uint32_t(e[0]) << 16 | e[1] << 8 | e[2]);
  }
  std::unique_ptr<QVRImage> flat(screen->ScreenFormat(&truecolour));
  ASSERT_NE(flat, nullptr);
  EXPECT_EQ(flat->GetBpp(), 8u);
  ASSERT_NE(flat->GetPalette(), nullptr);
  ASSERT_EQ(flat->GetPalette()->GetCount(), 256u);
  // Red, green and blue; the fourth byte is SDL's own (sdl12-compat sets it
  // to 255).
  for (unsigned i = 0; i < 256; ++i)
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(flat->GetPalette()->Entry(i)), 3),
              std::string(reinterpret_cast<const char*>(rgb332.Entry(i)), 3))
        << i;
  for (unsigned x = 0; x < 16; ++x) EXPECT_EQ(flat->GetPixel(int(x), 1), x * 17) << x;
}

TEST_F(ScreenTest, RefreshCutsTheRectangleToTheSurface) {
  QVRScreen* screen = Open(8, 320, 200);
  struct Case {
    int x, y;
    unsigned w, h;
    bool pushed;
    SDL_Rect want;
  };
  const Case cases[] = {
      {0, 0, 320, 200, true, {0, 0, 320, 200}},
      {-10, -5, 30, 20, true, {0, 0, 20, 15}},
      {300, 190, 100, 100, true, {300, 190, 20, 10}},
      {319, 199, 1, 1, true, {319, 199, 1, 1}},
      {320, 0, 10, 10, false, {}},
      {0, 200, 10, 10, false, {}},
      {-100, 0, 100, 10, false, {}},
      {-101, 0, 100, 10, false, {}},
      {0, 0, 0, 10, false, {}},
      // In 32 bits x + w would wrap: the rectangle covers the whole width.
      {INT_MIN, 0, UINT_MAX, 10, true, {0, 0, 320, 10}},
      {5, 5, UINT_MAX, UINT_MAX, true, {5, 5, 315, 195}},
      {INT_MIN, INT_MIN, 100, 100, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y) + " " + std::to_string(c.w) + "x" +
                 std::to_string(c.h));
    Spy().updates.clear();
    screen->Refresh(c.x, c.y, c.w, c.h);
    ASSERT_EQ(Spy().updates.size(), c.pushed ? 1u : 0u);
    if (!c.pushed) continue;
    EXPECT_EQ(Spy().updates[0].x, c.want.x);
    EXPECT_EQ(Spy().updates[0].y, c.want.y);
    EXPECT_EQ(Spy().updates[0].w, c.want.w);
    EXPECT_EQ(Spy().updates[0].h, c.want.h);
  }
}

// ImageMagick's decoding of `file` against the surface's own colours.
void ExpectShotShows(const std::string& file, SDL_Surface* s, const qvrtest::TempDir& dir,
                     int tolerance) {
  const std::string rgb = qvrtest::MagickRaw(file, "rgb", dir);
  ASSERT_EQ(rgb.size(), size_t(s->w) * s->h * 3) << file;
  SDL_LockSurface(s);
  const unsigned Bpp = s->format->BytesPerPixel;
  for (int y = 0; y < s->h; ++y)
    for (int x = 0; x < s->w; ++x) {
      const uint8_t* p = static_cast<uint8_t*>(s->pixels) + size_t(y) * s->pitch + x * Bpp;
      Uint32 pixel = 0;
      for (unsigned b = 0; b < Bpp; ++b) pixel |= Uint32(p[b]) << (8 * b);
      Uint8 want[3];
      SDL_GetRGB(pixel, s->format, &want[0], &want[1], &want[2]);
      for (int c = 0; c < 3; ++c) {
        int got = uint8_t(rgb[(size_t(y) * s->w + x) * 3 + c]);
        ASSERT_LE(std::abs(got - want[c]), tolerance) << x << "," << y << " channel " << c;
      }
    }
  SDL_UnlockSurface(s);
}

TEST_F(ScreenTest, ScreenshotsTakeTheNextFreeNumberAndShowTheSurface) {
  QVR_REQUIRE_MAGICK();
  qvrtest::TempDir dir;
  const std::string prefix = dir / "shot";
  for (unsigned bpp : {8u, 16u, 24u, 32u}) {
    SCOPED_TRACE("bpp " + std::to_string(bpp));
    QVRScreen* screen = Open(bpp);
    QVRPal pal(256);
    for (unsigned i = 0; i < 256; ++i) pal.SetEntry(i, uint8_t(i * 7), uint8_t(i), uint8_t(i * 3));
    screen->ReplacePalette(&pal);
    QVRImage img(kW, kH, bpp);
    FillBoth(screen->GetSurface(), img, bpp + 1);
    ASSERT_TRUE(screen->BMPScreenshot(prefix.c_str()));
  }
  for (const char* n : {"000", "001", "002", "003"})
    EXPECT_TRUE(FileExists(prefix + n + ".bmp")) << n;
  // Decoded against the 32-bit surface still open.
  ExpectShotShows(prefix + "003.bmp", QVRScreen::m_instance->GetSurface(), dir, 0);

  // An existing name is never overwritten, not even a dangling link whose
  // target a plain open would create.
  qvrtest::WriteAll(prefix + "004.bmp", "keep");
  ASSERT_EQ(symlink((dir / "target.bmp").c_str(), (prefix + "005.bmp").c_str()), 0);
  ASSERT_TRUE(QVRScreen::m_instance->BMPScreenshot(prefix.c_str()));
  EXPECT_EQ(qvrtest::ReadAll(prefix + "004.bmp"), "keep");
  EXPECT_FALSE(FileExists(dir / "target.bmp"));
  ExpectShotShows(prefix + "006.bmp", QVRScreen::m_instance->GetSurface(), dir, 0);

  for (unsigned bpp : {8u, 16u, 24u}) {
    SCOPED_TRACE("bpp " + std::to_string(bpp));
    QVRScreen* screen = Open(bpp);
    QVRPal pal(256);
    for (unsigned i = 0; i < 256; ++i) pal.SetEntry(i, uint8_t(i * 7), uint8_t(i), uint8_t(i * 3));
    screen->ReplacePalette(&pal);
    QVRImage img(kW, kH, bpp);
    FillBoth(screen->GetSurface(), img, bpp + 5);
    const std::string sub = dir / ("d" + std::to_string(bpp));
    ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
    ASSERT_TRUE(screen->BMPScreenshot((sub + "/s").c_str()));
    // 16-bit channels widen to 8 bits in SDL's own way; allow for it.
    ExpectShotShows(sub + "/s000.bmp", screen->GetSurface(), dir, bpp == 16 ? 7 : 0);
  }

  // A name that cannot be created: false, and nothing is written.
  EXPECT_FALSE(QVRScreen::m_instance->BMPScreenshot((dir / "missing/shot").c_str()));
  EXPECT_FALSE(FileExists(dir / "missing"));
  EXPECT_FALSE(QVRScreen::m_instance->BMPScreenshot(nullptr));
}

}  // namespace
