// Test helper: the SDL calls the video tests count or feed. The SDL functions
// are defined in sdl_spy_test.cpp, record their calls and forward to the
// real SDL found behind them (dlsym RTLD_NEXT); a few can be switched to
// made-up results.
#ifndef QVR_TESTS_VIDEO_SDL_SPY_H
#define QVR_TESTS_VIDEO_SDL_SPY_H

#include <SDL.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace qvrtest {

struct PaletteCall {
  int flags;
  int first;
  std::vector<SDL_Color> colours;
};

// A made-up answer of SDL_ListModes for one depth.
struct FakeModes {
  enum Kind { kNone, kAny, kList } kind = kList;
  std::vector<SDL_Rect> rects;
};

struct SdlSpy {
  // Calls in order, as "Init 0x20", "InitSubSystem 0x10", "Quit".
  std::vector<std::string> startup;
  std::vector<PaletteCall> palette;
  std::vector<SDL_Rect> updates;  // SDL_UpdateRects, one entry per rectangle
  std::vector<Uint32> delays;     // SDL_Delay arguments
  std::vector<Uint32> listModeFlags;

  // With fakeModes set, SDL_ListModes answers from `modes` by bits per pixel
  // (a missing depth gives null).
  bool fakeModes = false;
  std::map<int, FakeModes> modes;

  // With fakeTicks set, SDL_GetTicks returns `ticks` and adds `tickStep`
  // after each call, and SDL_Delay adds its argument instead of sleeping.
  bool fakeTicks = false;
  Uint32 ticks = 0;
  Uint32 tickStep = 1;

  void Clear() { *this = SdlSpy(); }
};

SdlSpy& Spy();

// True when the SDL 1.2 in use is sdl12-compat (SDL 1.2 over SDL 2), which
// calls itself 1.2.50 and later.
inline bool SdlCompat() { return SDL_Linked_Version()->patch >= 50; }

}  // namespace qvrtest

#endif
