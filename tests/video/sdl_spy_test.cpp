// The recording SDL functions of the video tests, and the tests of the
// reference-counted SDL start-up.
#include <SDL.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "common/log_capture.h"
#include "qvr3d/core.h"
#include "qvr3d/sdlmgr.h"
#include "video/sdl_spy.h"

namespace qvrtest {

SdlSpy& Spy() {
  static SdlSpy spy;
  return spy;
}

}  // namespace qvrtest

using qvrtest::Spy;

namespace {

// The SDL function `name` behind the ones defined here.
template <class F>
F Real(const char* name) {
  void* f = dlsym(RTLD_NEXT, name);
  if (f == nullptr) {
    std::fprintf(stderr, "sdl spy: no %s behind the test program\n", name);
    std::abort();
  }
  return reinterpret_cast<F>(f);
}

// SDL calls its own exported functions (SDL_Init calls SDL_InitSubSystem,
// SDL_SetColors calls SDL_SetPalette), and those calls land here too: only
// the outermost call is recorded.
thread_local int g_depth = 0;
struct Outer {
  Outer() { ++g_depth; }
  ~Outer() { --g_depth; }
  bool Record() const { return g_depth == 1; }
};

std::string Hex(const char* what, Uint32 flags) {
  char text[64];
  std::snprintf(text, sizeof text, "%s 0x%x", what, unsigned(flags));
  return text;
}

}  // namespace

extern "C" {

int SDL_Init(Uint32 flags) {
  Outer outer;
  static auto real = Real<int (*)(Uint32)>("SDL_Init");
  if (outer.Record()) Spy().startup.push_back(Hex("Init", flags));
  return real(flags);
}

int SDL_InitSubSystem(Uint32 flags) {
  Outer outer;
  static auto real = Real<int (*)(Uint32)>("SDL_InitSubSystem");
  if (outer.Record()) Spy().startup.push_back(Hex("InitSubSystem", flags));
  return real(flags);
}

void SDL_Quit(void) {
  Outer outer;
  static auto real = Real<void (*)(void)>("SDL_Quit");
  if (outer.Record()) Spy().startup.push_back("Quit");
  real();
}

int SDL_SetPalette(SDL_Surface* surface, int flags, SDL_Color* colors, int first, int n) {
  Outer outer;
  static auto real = Real<int (*)(SDL_Surface*, int, SDL_Color*, int, int)>("SDL_SetPalette");
  if (outer.Record())
    Spy().palette.push_back({flags, first, std::vector<SDL_Color>(colors, colors + n)});
  return real(surface, flags, colors, first, n);
}

void SDL_UpdateRects(SDL_Surface* screen, int n, SDL_Rect* rects) {
  Outer outer;
  static auto real = Real<void (*)(SDL_Surface*, int, SDL_Rect*)>("SDL_UpdateRects");
  if (outer.Record())
    for (int i = 0; i < n; ++i) Spy().updates.push_back(rects[i]);
  real(screen, n, rects);
}

SDL_Rect** SDL_ListModes(SDL_PixelFormat* format, Uint32 flags) {
  Outer outer;
  static auto real = Real<SDL_Rect** (*)(SDL_PixelFormat*, Uint32)>("SDL_ListModes");
  if (outer.Record()) Spy().listModeFlags.push_back(flags);
  if (!Spy().fakeModes || !outer.Record()) return real(format, flags);
  static std::vector<SDL_Rect> rects;
  static std::vector<SDL_Rect*> list;
  auto it = Spy().modes.find(format != nullptr ? format->BitsPerPixel : 0);
  if (it == Spy().modes.end() || it->second.kind == qvrtest::FakeModes::kNone) return nullptr;
  if (it->second.kind == qvrtest::FakeModes::kAny) return reinterpret_cast<SDL_Rect**>(-1);
  rects = it->second.rects;
  list.clear();
  for (SDL_Rect& r : rects) list.push_back(&r);
  list.push_back(nullptr);
  return list.data();
}

Uint32 SDL_GetTicks(void) {
  static auto real = Real<Uint32 (*)(void)>("SDL_GetTicks");
  if (!Spy().fakeTicks) return real();
  Uint32 now = Spy().ticks;
  Spy().ticks += Spy().tickStep;
  return now;
}

void SDL_Delay(Uint32 ms) {
  static auto real = Real<void (*)(Uint32)>("SDL_Delay");
  Spy().delays.push_back(ms);
  if (Spy().fakeTicks)
    Spy().ticks += ms;
  else
    real(ms);
}

}  // extern "C"

namespace {

class TestMgr : public QVRSDLMgr {
 public:
  explicit TestMgr(unsigned flags) : QVRSDLMgr(flags) {}
};

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    Spy().Clear();
  }
};

TEST_F(StartupTest, FirstObjectStartsVideoLaterOnesAddSubsystemsLastOneQuits) {
  {
    TestMgr video(SDL_INIT_VIDEO);
    EXPECT_EQ(QVRSDLMgr::m_sdlstate, 0x20u);
    {
      TestMgr audio(SDL_INIT_AUDIO);
      EXPECT_EQ(QVRSDLMgr::m_sdlstate, 0x30u);
      TestMgr again(SDL_INIT_AUDIO);  // nothing left to start
      EXPECT_EQ(QVRSDLMgr::m_instances, 3u);
    }
    EXPECT_EQ(QVRSDLMgr::m_sdlstate, 0x30u);  // subsystems are never stopped one by one
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), Uint32(SDL_INIT_AUDIO));
  }
  EXPECT_EQ(QVRSDLMgr::m_instances, 0u);
  EXPECT_EQ(QVRSDLMgr::m_sdlstate, 0u);
  EXPECT_EQ(Spy().startup, (std::vector<std::string>{"Init 0x20", "InitSubSystem 0x10", "Quit"}));
  EXPECT_EQ(SDL_WasInit(SDL_INIT_EVERYTHING), 0u);
}

TEST_F(StartupTest, FirstObjectAlwaysStartsVideoButRecordsOnlyItsOwnFlags) {
  {
    TestMgr timer(SDL_INIT_TIMER);
    EXPECT_EQ(QVRSDLMgr::m_sdlstate, 0x1u);
    EXPECT_NE(SDL_WasInit(SDL_INIT_VIDEO), 0u);
    TestMgr video(SDL_INIT_VIDEO);
    EXPECT_EQ(QVRSDLMgr::m_sdlstate, 0x21u);
  }
  EXPECT_EQ(Spy().startup, (std::vector<std::string>{"Init 0x21", "InitSubSystem 0x20", "Quit"}));
}

TEST_F(StartupTest, FailedSubsystemIsLoggedAndLeftOut) {
  qvrtest::LogCapture log;
  {
    // The first object starts video without recording it; with video
    // stopped behind its back and no driver to find, asking for it fails.
    TestMgr timer(SDL_INIT_TIMER);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    TestMgr video(SDL_INIT_VIDEO);
    EXPECT_EQ(QVRSDLMgr::m_sdlstate, 0x1u);
    EXPECT_EQ(QVRSDLMgr::m_instances, 2u);
  }
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  EXPECT_EQ(log.Text().rfind("Can't initialize SDL subsystem (", 0), 0u);
  EXPECT_EQ(QVRSDLMgr::m_instances, 0u);
}

TEST_F(StartupTest, FailedStartAndOneDestructionTooManyEndTheProcess) {
  ::testing::GTEST_FLAG(death_test_style) = "threadsafe";
  EXPECT_EXIT(
      {
        setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
        QVR::SetLogTarget(1, nullptr);
        TestMgr video(SDL_INIT_VIDEO);
      },
      ::testing::ExitedWithCode(1), "Can't initialize SDL \\(");
  EXPECT_EXIT(
      {
        QVR::SetLogTarget(1, nullptr);
        TestMgr* video = new TestMgr(SDL_INIT_VIDEO);
        QVRSDLMgr::m_instances = 0;
        delete video;
      },
      ::testing::ExitedWithCode(1), "Error :\nSDLMgr: instance == 0\n");
  EXPECT_EQ(QVRSDLMgr::m_instances, 0u);
}

}  // namespace
