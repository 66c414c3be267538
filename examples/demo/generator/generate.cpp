// The demo's asset generator: draws the sprites, the playfield and the title
// picture with the library's drawing primitives, saves them through its BMP,
// PCX and TGA writers, writes the palette, and synthesises the sound effects
// and the looping tune as WAV files. Run by the build:
//   demo-assets OUTDIR TITLEFONT
// TITLEFONT is a font file made by qvrfont, used for the title's lettering.
#include <qvr3d/qvr3d.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "../palette.h"

using namespace demo;

namespace {

const double kPi = 3.14159265358979323846;

// Mixes two colours: t = 0 gives a, t = 1 gives b.
void Blend(const unsigned char* a, const unsigned char* b, double t, unsigned char* out) {
  for (int i = 0; i < 3; ++i) out[i] = static_cast<unsigned char>(a[i] + (b[i] - a[i]) * t + 0.5);
}

// A run of `count` entries from `from` to `to`.
void Ramp(QVRPal& pal, unsigned first, unsigned count, const unsigned char* from,
          const unsigned char* to) {
  for (unsigned i = 0; i < count; ++i) {
    unsigned char c[3];
    Blend(from, to, count > 1 ? static_cast<double>(i) / (count - 1) : 0.0, c);
    pal.SetEntry(first + i, c[0], c[1], c[2]);
  }
}

QVRPal MakePalette() {
  QVRPal pal(256);
  for (unsigned i = 0; i < 256; ++i) pal.SetEntry(i, 0, 0, 0);
  pal.SetEntry(COL_WHITE, 255, 255, 255);
  pal.SetEntry(COL_GREY, 170, 170, 190);
  pal.SetEntry(COL_DARK, 60, 60, 80);
  pal.SetEntry(COL_YELLOW, 255, 230, 90);
  pal.SetEntry(COL_RED, 230, 60, 60);
  pal.SetEntry(COL_CYAN, 90, 220, 240);
  pal.SetEntry(COL_SHADOW, 16, 16, 24);
  const unsigned char black[3] = {0, 0, 0};
  for (unsigned h = 0; h < kBrickHues; ++h) {
    unsigned char light[3], dark[3];
    const unsigned char white[3] = {255, 255, 255};
    Blend(kHueRGB[h], white, 0.25, light);
    Blend(kHueRGB[h], black, 0.55, dark);
    // Entry 1 of each hue is the hue itself, so the wall shows those colours.
    pal.SetEntry(COL_BRICKS + h * 8, light[0], light[1], light[2]);
    Ramp(pal, COL_BRICKS + h * 8 + 1, 7, kHueRGB[h], dark);
  }
  const unsigned char field1[3] = {10, 12, 40}, field2[3] = {36, 10, 50};
  Ramp(pal, COL_FIELD, 32, field1, field2);
  const unsigned char pad1[3] = {230, 240, 255}, pad2[3] = {50, 70, 120};
  Ramp(pal, COL_PADDLE, 16, pad1, pad2);
  const unsigned char ball1[3] = {255, 255, 240}, ball2[3] = {200, 90, 20};
  Ramp(pal, COL_BALL, 16, ball1, ball2);
  const unsigned char sky1[3] = {20, 20, 80}, sky2[3] = {250, 120, 70};
  Ramp(pal, COL_SKY, 32, sky1, sky2);
  const unsigned char sun1[3] = {255, 250, 200}, sun2[3] = {250, 140, 40};
  Ramp(pal, COL_SUN, 16, sun1, sun2);
  return pal;
}

bool Save(QVRImage& img, const QVRPal& pal, const std::string& path, int format) {
  img.SetPalette(&pal, 0, 256);
  if (img.SaveName(path.c_str(), format)) return true;
  std::fprintf(stderr, "demo-assets: cannot write %s\n", path.c_str());
  return false;
}

// One brick per hue side by side: a vertical shade with a dark rim and a
// light top edge.
QVRImage Bricks() {
  QVRImage img(kBrickW * kBrickHues, kBrickH, 8);
  img.Rectangle(0, 0, img.GetWidth(), img.GetHeight(), COL_KEY);
  for (unsigned h = 0; h < kBrickHues; ++h) {
    const int x = static_cast<int>(h * kBrickW);
    const unsigned base = COL_BRICKS + h * 8;
    img.Rectangle(x, 0, kBrickW, kBrickH, base + 1);
    img.Gradient(x + 2, kBrickH / 2, kBrickW - 4, kBrickH / 2 - 2, base + 1, base + 5, 0);
    img.Frame(x, 0, kBrickW, kBrickH, base + 7);
    img.HLine(x + 1, 1, kBrickW - 2, base);
  }
  return img;
}

// The paddle: a shaded bar with rounded ends on the key colour.
QVRImage Paddle() {
  QVRImage img(kPaddleW, kPaddleH, 8);
  img.Rectangle(0, 0, kPaddleW, kPaddleH, COL_KEY);
  const int r = kPaddleH / 2;
  img.Disk(r, r, r, COL_PADDLE + 8);
  img.Disk(kPaddleW - r, r, r, COL_PADDLE + 8);
  img.Gradient(r, 0, kPaddleW - 2 * r, kPaddleH, COL_PADDLE, COL_PADDLE + 15, 0);
  img.HLine(r, 2, kPaddleW - 2 * r, COL_WHITE);
  return img;
}

// The ball: three disks for a highlight.
QVRImage Ball() {
  QVRImage img(kBallSize, kBallSize, 8);
  img.Rectangle(0, 0, kBallSize, kBallSize, COL_KEY);
  const int c = kBallSize / 2;
  img.Disk(c, c, c, COL_BALL + 12);
  img.Disk(c - 1, c - 1, c - 2, COL_BALL + 6);
  img.Disk(c - 2, c - 2, 2, COL_BALL);
  return img;
}

// The playfield: a diagonal-looking shade and a thin frame.
QVRImage Field() {
  QVRImage img(640, 480, 8);
  img.Gradient(0, 0, 640, 480, COL_FIELD, COL_FIELD + 31, 0);
  for (int y = 40; y < 480; y += 40) img.HLine(0, y, 640, COL_FIELD + 6);
  for (int x = 0; x < 640; x += 40) img.VLine(x, 40, 440, COL_FIELD + 6);
  img.Rectangle(0, 0, 640, 40, COL_SHADOW);
  img.HLine(0, 40, 640, COL_GREY);
  return img;
}

// The title picture: a sunset sky, a sun, a brick wall and the name.
QVRImage Title(QVRFont* font) {
  QVRImage img(640, 480, 8);
  img.Gradient(0, 0, 640, 320, COL_SKY, COL_SKY + 31, 0);
  for (int r = 90; r > 0; r -= 6)
    img.Disk(320, 320, r, COL_SUN + static_cast<unsigned>(15 - r / 6));
  img.Gradient(0, 320, 640, 160, COL_FIELD + 10, COL_FIELD, 0);
  const QVRImage bricks = Bricks();
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 13; ++col) {
      const int x = col * (kBrickW + 2) - (row % 2) * 24 + 1;
      const unsigned hue = static_cast<unsigned>(col + row) % kBrickHues;
      img.CopyImage(x, 330 + row * (kBrickH + 2), &bricks, static_cast<int>(hue * kBrickW), 0,
                    kBrickW, kBrickH);
    }
  for (int i = 0; i < 4; ++i) img.Frame(20 + i * 4, 20 + i * 4, 600 - i * 8, 440 - i * 8, COL_GREY);
  if (font && font->GetName()) {
    const char* name = "QVR3d BRICKS";
    const int x = 320 - static_cast<int>(font->TextWidth(name)) / 2;
    img.DrawText(x + 4, 84, name, COL_SHADOW, font, ALIGN_TOP);
    img.DrawText(x, 80, name, COL_YELLOW, font, ALIGN_TOP);
  }
  return img;
}

// ---- Sound ------------------------------------------------------------------

// A RIFF/WAVE file of PCM samples (8-bit unsigned or 16-bit signed, mono).
bool WriteWav(const std::string& path, const std::vector<double>& samples, unsigned bits) {
  QVRFile out(path.c_str(), QVRResFile::WRITE | QVRResFile::TRUNCATE);
  const unsigned rate = 22050, bytes = bits / 8;
  const unsigned dataSize = static_cast<unsigned>(samples.size()) * bytes;
  out.Write("RIFF", 4);
  out.Write32(36 + dataSize);
  out.Write("WAVEfmt ", 8);
  out.Write32(16);
  out.Write16(1);  // PCM
  out.Write16(1);  // mono
  out.Write32(rate);
  out.Write32(rate * bytes);
  out.Write16(static_cast<unsigned short>(bytes));
  out.Write16(static_cast<unsigned short>(bits));
  out.Write("data", 4);
  out.Write32(dataSize);
  for (double s : samples) {
    const double v = s > 1.0 ? 1.0 : (s < -1.0 ? -1.0 : s);
    if (bits == 8)
      out.Write8(static_cast<unsigned char>(128 + std::lround(v * 127)));
    else
      out.Write16(static_cast<unsigned short>(static_cast<short>(std::lround(v * 32767))));
  }
  if (out.Good()) return true;
  std::fprintf(stderr, "demo-assets: cannot write %s\n", path.c_str());
  return false;
}

// A tone sweeping from f0 to f1 Hz with an exponential decay; `square` mixes
// in odd harmonics for a harder edge.
std::vector<double> Tone(double seconds, double f0, double f1, double decay, double square) {
  const unsigned n = static_cast<unsigned>(seconds * 22050);
  std::vector<double> s(n);
  double phase = 0;
  for (unsigned i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / n;
    phase += 2 * kPi * (f0 + (f1 - f0) * t) / 22050;
    const double wave = std::sin(phase) + square * std::sin(3 * phase) / 3;
    const double attack = i < 64 ? i / 64.0 : 1.0;
    s[i] = 0.6 * wave * attack * std::exp(-decay * t);
  }
  return s;
}

// The tune: 32 eighth notes at 120 beats a minute (8 s), a square lead over a
// triangle bass, so that the loop point falls on a bar line.
std::vector<double> Tune() {
  static const int lead[32] = {69, 72, 76, 72, 74, 77, 81, 77, 76, 72, 69, 72, 71, 74, 79, 74,
                               69, 72, 76, 79, 81, 79, 76, 72, 74, 77, 74, 71, 69, 0,  69, 0};
  static const int bass[8] = {45, 50, 45, 43, 45, 48, 50, 45};
  const unsigned step = 22050 / 4;
  std::vector<double> s(32 * step, 0.0);
  for (unsigned n = 0; n < 32; ++n) {
    const double fl = lead[n] ? 440.0 * std::pow(2.0, (lead[n] - 69) / 12.0) : 0.0;
    const double fb = 440.0 * std::pow(2.0, (bass[n / 4] - 69) / 12.0);
    for (unsigned i = 0; i < step; ++i) {
      const double t = static_cast<double>(i) / 22050;
      const double env = std::exp(-6.0 * t);
      double v = 0;
      if (fl > 0) v += 0.25 * env * (std::fmod(t * fl, 1.0) < 0.5 ? 1.0 : -1.0);
      const double p = std::fmod(t * fb + n * step * fb / 22050, 1.0);
      v += 0.35 * (4 * std::fabs(p - 0.5) - 1);
      s[n * step + i] = v;
    }
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: demo-assets OUTDIR TITLEFONT\n");
    return 2;
  }
  const std::string out = argv[1];
  for (const char* dir : {"", "/gfx", "/sfx", "/music"}) {
    const std::string path = out + dir;
    if (!QVRFileUtils::IsDir(path.c_str()) && !QVRFileUtils::DirCreate(path.c_str())) {
      std::fprintf(stderr, "demo-assets: cannot create %s\n", path.c_str());
      return 1;
    }
  }
  const QVRPal pal = MakePalette();
  QVRFont font(argv[2]);
  if (!font.GetName()) {
    std::fprintf(stderr, "demo-assets: cannot read the font %s\n", argv[2]);
    return 1;
  }
  QVRImage bricks = Bricks(), paddle = Paddle(), ball = Ball(), field = Field(),
           title = Title(&font);
  QVRPal palCopy(pal);
  bool ok = palCopy.SaveName((out + "/gfx/game.qvrp").c_str(), QVRPal::PAL_NATIVE);
  ok = Save(bricks, pal, out + "/gfx/bricks.bmp", QVRImage::IMG_BMP) && ok;
  ok = Save(paddle, pal, out + "/gfx/paddle.tga", QVRImage::IMG_TGA_RLE) && ok;
  ok = Save(ball, pal, out + "/gfx/ball.tga", QVRImage::IMG_TGA) && ok;
  ok = Save(field, pal, out + "/gfx/field.pcx", QVRImage::IMG_PCX) && ok;
  ok = Save(title, pal, out + "/gfx/title.pcx", QVRImage::IMG_PCX) && ok;
  ok = WriteWav(out + "/sfx/bounce.wav", Tone(0.08, 700, 600, 5, 0.2), 16) && ok;
  ok = WriteWav(out + "/sfx/brick.wav", Tone(0.12, 1100, 1500, 4, 0.8), 16) && ok;
  ok = WriteWav(out + "/sfx/lose.wav", Tone(0.6, 400, 90, 2, 0.5), 16) && ok;
  ok = WriteWav(out + "/sfx/level.wav", Tone(0.5, 500, 1200, 1.5, 0.3), 16) && ok;
  ok = WriteWav(out + "/music/theme.wav", Tune(), 8) && ok;
  if (!ok) return 1;
  std::printf("demo-assets: wrote the pictures, sounds and tune into %s\n", out.c_str());
  return 0;
}
