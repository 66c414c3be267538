// The screen and input in a real X11 window (run inside a private Xvfb):
// drawn pixels read back from the X server, the caption, and keys and mouse
// sent with xdotool.
#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "common/tmpdir.h"
#include "image/magick.h"
#include "qvr3d/image.h"
#include "qvr3d/input.h"
#include "qvr3d/pal.h"
#include "qvr3d/screen.h"

// Xlib keeps a few strings of its locale and input-method set-up for the
// life of the process: not ours to free.
extern "C" const char* __lsan_default_suppressions() { return "leak:libX11.so\n"; }

namespace {

// Output of a shell command, "" when it fails.
std::string Output(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return out;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, got);
  return pclose(p) == 0 ? out : std::string();
}

class XScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
    QVR_REQUIRE_MAGICK();
    // Xvfb does not reset between tests; a watchdog ends a wait for an
    // event that never comes.
    alarm(120);
  }
  void TearDown() override {
    delete QVRScreen::m_instance;
    delete QVRInput::m_instance;
    alarm(0);
  }

  // Opens the window with a caption of its own and finds it on the server.
  QVRScreen* Open(unsigned w, unsigned h, unsigned bpp, unsigned flags = 0) {
    QVRScreen* screen = QVRScreen::Singleton();
    if (!screen->Init(w, h, flags, bpp)) return nullptr;
    m_caption = "qvr3d-xtest-" + std::to_string(getpid()) + "-" + std::to_string(++m_windows);
    screen->SetNames(m_caption.c_str(), "qvr3d icon");
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
    }
    for (int tries = 0; tries < 100 && m_window.empty(); ++tries) {
      std::string found = Output("xdotool search --name '^" + m_caption + "$' 2>/dev/null");
      m_window = found.substr(0, found.find('\n'));
      if (m_window.empty()) usleep(20000);
    }
    return screen;
  }

  // The window's pixels as the X server shows them once they equal `want`
  // (SDL may present asynchronously: sdl12-compat does), or as they are
  // after a few seconds.
  std::string GrabWhen(unsigned w, unsigned h, const std::function<bool(const std::string&)>& ok) {
    std::string rgb;
    for (int tries = 0; tries < 40; ++tries) {
      rgb = Grab(w, h);
      if (ok(rgb)) break;
      SDL_Event e;
      while (SDL_PollEvent(&e)) {
      }
      usleep(50000);
    }
    return rgb;
  }
  std::string GrabWhenEqual(unsigned w, unsigned h, const std::string& want) {
    return GrabWhen(w, h, [&](const std::string& rgb) { return rgb == want; });
  }

  // The window's pixels as the X server shows them, 8-bit RGB.
  std::string Grab(unsigned w, unsigned h) {
    std::string info = Output("xwininfo -id " + m_window);
    int x = -1, y = -1;
    size_t at = info.find("Absolute upper-left X:");
    if (at != std::string::npos) x = std::atoi(info.c_str() + at + 22);
    at = info.find("Absolute upper-left Y:");
    if (at != std::string::npos) y = std::atoi(info.c_str() + at + 22);
    if (x < 0 || y < 0) return "";
    const std::string xwd = m_dir / "root.xwd";
    if (std::system(("xwd -root -silent -out '" + xwd + "'").c_str()) != 0) return "";
    const std::string out = m_dir / "window.rgb";
    std::remove(out.c_str());
    char crop[64];
    std::snprintf(crop, sizeof crop, "%ux%u+%d+%d", w, h, x, y);
    if (!qvrtest::Magick("xwd:'" + xwd + "' -crop " + crop + " +repage -depth 8 rgb:'" + out + "'"))
      return "";
    return qvrtest::ReadAll(out);
  }

  qvrtest::TempDir m_dir;
  std::string m_caption;
  std::string m_window;
  int m_windows = 0;
};

// True for sdl12-compat (SDL 1.2 over SDL 2), which calls itself 1.2.50 and
// later.
bool SdlCompat() { return SDL_Linked_Version()->patch >= 50; }

// What the surface should show, 8-bit RGB.
std::string SurfaceRGB(SDL_Surface* s) {
  std::string rgb;
  SDL_LockSurface(s);
  for (int y = 0; y < s->h; ++y)
    for (int x = 0; x < s->w; ++x) {
      const uint8_t* p = static_cast<uint8_t*>(s->pixels) + size_t(y) * s->pitch +
                         size_t(x) * s->format->BytesPerPixel;
      Uint32 pixel = 0;
      for (unsigned b = 0; b < s->format->BytesPerPixel; ++b) pixel |= Uint32(p[b]) << (8 * b);
      Uint8 c[3];
      SDL_GetRGB(pixel, s->format, &c[0], &c[1], &c[2]);
      rgb.append(reinterpret_cast<const char*>(c), 3);
    }
  SDL_UnlockSurface(s);
  return rgb;
}

// A pattern through the screen's own primitives.
void Draw(QVRScreen* screen, unsigned bpp, unsigned w, unsigned h) {
  QVRImage sprite(40, 30, bpp);
  for (unsigned y = 0; y < 30; ++y)
    for (unsigned x = 0; x < 40; ++x)
      sprite.HLine(int(x), int(y), 1,
                   bpp == 8 ? (x * 7 + y) & 0xFF : (x * 6) << 16 | (y * 8) << 8 | 0x40);
  screen->HLine(0, 0, w, bpp == 8 ? 200 : 0xFFFFFF);
  for (unsigned y = 1; y < h; ++y)
    screen->HLine(0, int(y), w, bpp == 8 ? y & 0xFF : (y & 0xFF) << 8 | (255 - (y & 0xFF)));
  screen->Frame(5, 5, w - 10, h - 10, bpp == 8 ? 15 : 0xFF0000);
  screen->CopyImage(-10, 20, &sprite, 0, 0, 40, 30);
  screen->TCopyImage(int(w) - 30, int(h) - 20, bpp == 8 ? 7 : 0x40, &sprite, 0, 0, 40, 30);
  screen->VLine(int(w) / 2, 0, h, bpp == 8 ? 1 : 0x00FF00, QVRScreen::DRAW_XOR);
}

TEST_F(XScreenTest, WindowsShowWhatWasDrawnAndCarryTheirNames) {
  struct Mode {
    unsigned w, h, bpp;
  };
  for (Mode m : {Mode{320, 200, 8}, Mode{640, 480, 32}}) {
    SCOPED_TRACE("bpp " + std::to_string(m.bpp));
    m_window.clear();
    QVRScreen* screen = Open(m.w, m.h, m.bpp);
    ASSERT_NE(screen, nullptr);
    ASSERT_FALSE(m_window.empty()) << "window not found";
    SDL_Surface* s = screen->GetSurface();
    EXPECT_EQ(s->format->BitsPerPixel, m.bpp);
    if (m.bpp == 8) {
      QVRPal pal(256);
      for (unsigned i = 0; i < 256; ++i)
        pal.SetEntry(i, uint8_t(i), uint8_t(i * 5), uint8_t(255 - i));
      screen->ReplacePalette(&pal);
    }
    Draw(screen, m.bpp, m.w, m.h);
    // Cut to the window; uncut, an 8-bit window's update corrupts SDL.
    screen->Refresh(-50, -50, 100000, 100000);
    const std::string shown = GrabWhenEqual(m.w, m.h, SurfaceRGB(s));
    EXPECT_EQ(shown, SurfaceRGB(s));

    // The refreshed row reaches the server. SDL 1.2 pushes only that part;
    // sdl12-compat presents the whole surface.
    screen->HLine(0, 10, m.w, 0);
    screen->HLine(0, 100, m.w, 0);
    screen->Refresh(0, 100, m.w, 1);
    const size_t row = size_t(m.w) * 3;
    const std::string want = SurfaceRGB(s).substr(100 * row, row);
    const std::string now = GrabWhen(m.w, m.h, [&](const std::string& rgb) {
      return rgb.size() == shown.size() && rgb.substr(100 * row, row) == want;
    });
    ASSERT_EQ(now.size(), shown.size());
    EXPECT_EQ(now.substr(100 * row, row), want);
    if (!SdlCompat()) {
      EXPECT_EQ(now.substr(10 * row, row), shown.substr(10 * row, row));
    }

    char* title = nullptr;
    char* icon = nullptr;
    SDL_WM_GetCaption(&title, &icon);
    EXPECT_EQ(std::string(title), m_caption);
    EXPECT_STREQ(icon, "qvr3d icon");
    const std::string props = Output("xprop -id " + m_window + " WM_NAME WM_ICON_NAME");
    EXPECT_NE(props.find("\"" + m_caption + "\""), std::string::npos) << props;
    if (!SdlCompat()) {  // sdl12-compat keeps the icon title to itself
      EXPECT_NE(props.find("\"qvr3d icon\""), std::string::npos) << props;
    }
    screen->SetNames(m_caption.c_str(), nullptr);
    SDL_WM_GetCaption(&title, &icon);
    EXPECT_EQ(std::string(icon), m_caption);
  }
}

TEST_F(XScreenTest, ResizableWindowsResizeAndIconsAreAccepted) {
  QVRScreen* screen = Open(200, 150, 32, SDL_RESIZABLE);
  ASSERT_NE(screen, nullptr);
  if (!SdlCompat()) {  // sdl12-compat does not report the window flags
    ASSERT_NE(screen->GetSurface()->flags & SDL_RESIZABLE, 0u);
  }
  ASSERT_TRUE(screen->Resize(300, 220));
  EXPECT_EQ(screen->GetSurface()->w, 300);
  EXPECT_EQ(screen->GetSurface()->h, 220);
  screen->HLine(0, 219, 300, 0x123456);
  screen->Refresh(0, 0, 300, 220);
  const std::string rgb = GrabWhen(300, 220, [](const std::string& got) {
    return got.size() == 300u * 220 * 3 && got.substr(219 * 300 * 3, 3) == "\x12\x34\x56";
  });
  EXPECT_TRUE(QVRScreen::m_cursor != nullptr);
  ASSERT_EQ(rgb.size(), 300u * 220 * 3);
  EXPECT_EQ(rgb.substr(219 * 300 * 3, 3), std::string("\x12\x34\x56", 3));

  QVRImage icon8(32, 32, 8);
  QVRPal pal(2);
  pal.SetEntry(1, 255, 255, 0);
  icon8.ReplacePalette(new QVRPal(&pal));
  icon8.Rectangle(0, 0, 32, 32, 0);
  icon8.Disk(16, 16, 10, 1);
  screen->SetIcon(&icon8, true, 0);
  QVRImage icon32(32, 32, 32);
  icon32.Rectangle(0, 0, 32, 32, 0xFF00FF);
  screen->SetIcon(&icon32, false, 0);
  screen->SetIcon(nullptr, false, 0);
  // SDL 1.2 sets an icon bitmap in the hints, SDL 2 the _NET_WM_ICON pixels.
  const std::string hints = Output("xprop -id " + m_window + " WM_HINTS _NET_WM_ICON");
  EXPECT_TRUE(hints.find("to use for icon") != std::string::npos ||
              hints.find("_NET_WM_ICON(CARDINAL)") != std::string::npos)
      << hints;
}

TEST_F(XScreenTest, KeysAndMouseArriveThroughWaitNextEvent) {
  QVRScreen* screen = Open(320, 240, 32);
  ASSERT_NE(screen, nullptr);
  ASSERT_FALSE(m_window.empty());
  QVRInput* input = QVRInput::Singleton();
  ASSERT_EQ(std::system(("xdotool windowfocus --sync " + m_window + " mousemove --sync --window " +
                         m_window + " 5 5")
                            .c_str()),
            0);
  input->Flush();
  ASSERT_EQ(std::system(("xdotool mousemove --sync --window " + m_window +
                         " 50 60 mousemove --sync --window " + m_window + " 70 80 key a")
                            .c_str()),
            0);
  QVREvent ev;
  ASSERT_TRUE(input->WaitNextEvent(SDL_KEYDOWN, &ev));
  EXPECT_EQ(ev.type, SDL_KEYDOWN);
  EXPECT_EQ(ev.key.keysym.sym, SDLK_a);
  EXPECT_EQ(ev.key.keysym.unicode, 'a');  // SDL_EnableUNICODE is on
  ASSERT_TRUE(input->WaitNextEvent(SDL_KEYUP, &ev));
  EXPECT_EQ(ev.key.keysym.sym, SDLK_a);
  int x = -1, y = -1;
  EXPECT_EQ(input->GetMouseState(&x, &y), 0);
  EXPECT_EQ(x, 70);
  EXPECT_EQ(y, 80);

  ASSERT_EQ(std::system("xdotool mousedown 3"), 0);
  ASSERT_TRUE(input->WaitNextEvent(SDL_MOUSEBUTTONDOWN, &ev));
  EXPECT_EQ(ev.button.button, SDL_BUTTON_RIGHT);
  EXPECT_EQ(ev.button.x, 70);
  EXPECT_EQ(ev.button.y, 80);
  EXPECT_EQ(input->GetMouseState(nullptr, nullptr), 4);
  ASSERT_EQ(std::system("xdotool mouseup 3 mousedown 1"), 0);
  ASSERT_TRUE(input->WaitNextEvent(SDL_MOUSEBUTTONDOWN, &ev));
  EXPECT_EQ(ev.button.button, SDL_BUTTON_LEFT);
  EXPECT_EQ(input->GetMouseState(nullptr, nullptr), 1);
  ASSERT_EQ(std::system("xdotool mouseup 1"), 0);
  ASSERT_TRUE(input->WaitNextEvent(SDL_MOUSEBUTTONUP, &ev));
  EXPECT_EQ(input->GetMouseState(nullptr, nullptr), 0);

  // Filtered out: a key-down never arrives, the key-up after it does.
  input->SetEventTypes(1u << SDL_KEYUP);
  ASSERT_EQ(std::system("xdotool key b"), 0);
  ASSERT_TRUE(input->WaitNextEvent(SDL_KEYUP, &ev));
  EXPECT_EQ(ev.key.keysym.sym, SDLK_b);
  SDL_Event rest;
  while (SDL_PollEvent(&rest)) EXPECT_NE(rest.type, SDL_KEYDOWN);
}

}  // namespace
