// QVRInput, QVRTimer and QVRVideoMode on SDL's dummy driver: event filtering
// and waiting, the accurate wait on a made-up tick counter, and mode lists
// fed through SDL_ListModes.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "qvr3d/input.h"
#include "qvr3d/timer.h"
#include "qvr3d/videomode.h"
#include "video/sdl_spy.h"

using qvrtest::Spy;

namespace {

class InputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    Spy().Clear();
  }
  void TearDown() override { Spy().Clear(); }
};

SDL_Event Motion(Uint16 x) {
  SDL_Event e;
  std::memset(&e, 0, sizeof e);
  e.type = SDL_MOUSEMOTION;
  e.motion.x = x;
  return e;
}

TEST_F(InputTest, EventHasSdlEventLayout) {
  EXPECT_EQ(sizeof(QVREvent), sizeof(SDL_Event));
  EXPECT_EQ(offsetof(QVREvent, key.keysym.unicode), offsetof(SDL_Event, key.keysym.unicode));
  EXPECT_EQ(offsetof(QVREvent, motion.xrel), offsetof(SDL_Event, motion.xrel));
  EXPECT_EQ(offsetof(QVREvent, user.data2), offsetof(SDL_Event, user.data2));
}

TEST_F(InputTest, WaitNextEventDropsOtherTypesAndCopiesTheWholeEvent) {
  QVRInput* input = QVRInput::Singleton();
  EXPECT_EQ(QVRInput::Singleton(), input);
  input->Flush();
  SDL_Event key;
  std::memset(&key, 0xA5, sizeof key);  // every byte is copied, padding too
  key.type = SDL_KEYDOWN;
  key.key.keysym.sym = SDLK_a;
  key.key.keysym.unicode = 'a';
  SDL_Event up = key;
  up.type = SDL_KEYUP;
  SDL_Event user;
  std::memset(&user, 0, sizeof user);
  user.type = SDL_USEREVENT;
  user.user.data2 = &user;
  for (Uint16 x : {1, 2, 3}) {
    SDL_Event m = Motion(x);
    ASSERT_EQ(SDL_PushEvent(&m), 0);
  }
  ASSERT_EQ(SDL_PushEvent(&key), 0);
  ASSERT_EQ(SDL_PushEvent(&up), 0);
  ASSERT_EQ(SDL_PushEvent(&user), 0);
  QVREvent got;
  ASSERT_TRUE(input->WaitNextEvent(SDL_KEYDOWN, &got));
  EXPECT_EQ(std::memcmp(&got, &key, sizeof key), 0);
  EXPECT_EQ(got.key.keysym.sym, SDLK_a);
  EXPECT_EQ(got.key.keysym.unicode, 'a');
  ASSERT_TRUE(input->WaitNextEvent(SDL_USEREVENT, &got));  // drops the key-up
  EXPECT_EQ(got.user.data2, &user);
  SDL_Event rest;
  EXPECT_EQ(SDL_PollEvent(&rest), 0);

  SDL_Event m = Motion(9);
  ASSERT_EQ(SDL_PushEvent(&m), 0);
  EXPECT_TRUE(input->WaitNextEvent(SDL_MOUSEMOTION, nullptr));
  ASSERT_EQ(SDL_PushEvent(&m), 0);
  ASSERT_EQ(SDL_PushEvent(&m), 0);
  input->Flush();
  EXPECT_EQ(SDL_PollEvent(&rest), 0);

  int x = -1, y = -1;
  EXPECT_EQ(input->GetMouseState(&x, &y) & ~7, 0);
  EXPECT_GE(x, 0);
  input->GetMouseState(nullptr, nullptr);
  delete input;
  EXPECT_EQ(QVRInput::m_instance, nullptr);
}

TEST_F(InputTest, EventTypesFollowTheMask) {
  QVRInput input;
  auto enabled = [](unsigned t) { return SDL_EventState(Uint8(t), SDL_QUERY) == SDL_ENABLE; };
  input.SetEventTypes(0);
  EXPECT_EQ(input.GetEventTypes(), 0u);
  for (unsigned t = 1; t < SDL_NUMEVENTS; ++t) EXPECT_FALSE(enabled(t)) << t;
  input.SetEventTypes(1u << SDL_KEYDOWN | 0xF0000000u);
  EXPECT_EQ(input.GetEventTypes(), 1u << SDL_KEYDOWN | 0xF0000000u);
  for (unsigned t = 1; t < SDL_NUMEVENTS; ++t) EXPECT_EQ(enabled(t), t == SDL_KEYDOWN) << t;

  input.AddEventType(SDL_MOUSEBUTTONDOWN);
  EXPECT_TRUE(enabled(SDL_MOUSEBUTTONDOWN));
  EXPECT_NE(input.GetEventTypes() & (1u << SDL_MOUSEBUTTONDOWN), 0u);
  // Types of 32 and more reach SDL by their low byte; the mask keeps 32 bits.
  const uint32_t mask = input.GetEventTypes();
  input.RemoveEventType(0x100 + SDL_MOUSEBUTTONDOWN);
  EXPECT_FALSE(enabled(SDL_MOUSEBUTTONDOWN));
  EXPECT_EQ(input.GetEventTypes(), mask);
  input.AddEventType(0x100 + SDL_QUIT);
  EXPECT_TRUE(enabled(SDL_QUIT));
  EXPECT_EQ(input.GetEventTypes(), mask);
  input.AddEventType(40);  // no such SDL type: nothing happens
  input.AddEventType(1000000);
  EXPECT_EQ(input.GetEventTypes(), mask);
  input.RemoveEventType(SDL_MOUSEBUTTONDOWN);
  EXPECT_EQ(input.GetEventTypes() & (1u << SDL_MOUSEBUTTONDOWN), 0u);
  input.AddEventType(0xFF);  // SDL's "every type", which sdl12-compat ignores
  if (!qvrtest::SdlCompat()) {
    for (unsigned t = 1; t < SDL_NUMEVENTS; ++t) EXPECT_TRUE(enabled(t)) << t;
  }
}

TEST_F(InputTest, WaitAccSleepsWholeTensAndSpinsAcrossTheTickWrap) {
  QVRTimer timer(77);
  EXPECT_EQ(timer.GetValue(), 77u);
  Spy().fakeTicks = true;
  struct Case {
    unsigned ms;
    std::vector<Uint32> delays;
  };
  for (const Case& c : {Case{0, {}}, Case{15, {}}, Case{20, {}}, Case{21, {20}}, Case{57, {50}},
                        Case{60, {60}}, Case{1000, {1000}}}) {
    for (Uint32 start : {Uint32(1000), Uint32(0xFFFFFFF0u), Uint32(0xFFFFFFFFu)}) {
      SCOPED_TRACE(std::to_string(c.ms) + " ms from " + std::to_string(start));
      Spy().ticks = start;
      Spy().delays.clear();
      timer.WaitAcc(c.ms);
      EXPECT_EQ(Spy().delays, c.delays);
      // The wait ends on the first tick read at least ms after the start
      // (the counter has moved one step past that read; it also moves one
      // step between the start and the sleep).
      const Uint32 elapsed = Spy().ticks - 1 - start;
      EXPECT_GE(elapsed, c.ms);
      EXPECT_LE(elapsed, c.ms + 1);
    }
  }
  // A coarse clock: the wait still ends as soon as the time has passed.
  Spy().tickStep = 7;
  Spy().ticks = 0xFFFFFFFAu;
  timer.WaitAcc(15);
  EXPECT_EQ(Uint32(Spy().ticks - 7 - 0xFFFFFFFAu), 21u);
}

class ModeTest : public InputTest {
 protected:
  void SetUp() override {
    InputTest::SetUp();
    Spy().fakeModes = true;
    Spy().modes[8] = {qvrtest::FakeModes::kList, {{0, 0, 1024, 768}, {0, 0, 640, 480}}};
    Spy().modes[16] = {qvrtest::FakeModes::kList,
                       {{0, 0, 800, 600}, {0, 0, 1024, 768}, {0, 0, 320, 200}}};
    Spy().modes[24] = {qvrtest::FakeModes::kNone, {}};
    Spy().modes[32] = {qvrtest::FakeModes::kList,
                       {{0, 0, 1024, 768}, {0, 0, 1280, 1024}, {0, 0, 1024, 600}}};
    Spy().modes[15] = {qvrtest::FakeModes::kList, {}};
    Spy().modes[12] = {qvrtest::FakeModes::kAny, {}};
  }
};

TEST_F(ModeTest, GetModesKeepsSdlOrderAndReportsNoneAndAnySize) {
  QVRVideoMode modes;
  EXPECT_NE(modes.VideoInfo(), nullptr);
  VideoMode* list = nullptr;
  ASSERT_EQ(modes.GetModes(&list, SDL_SWSURFACE, 16), 3);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list[0].width, 800u);
  EXPECT_EQ(list[0].height, 600u);
  EXPECT_EQ(list[1].width, 1024u);
  EXPECT_EQ(list[2].height, 200u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(list[i].bpp, 16u);
  delete[] list;
  EXPECT_EQ(Spy().listModeFlags.back(), Uint32(SDL_SWSURFACE));
  for (unsigned bpp : {24u, 15u, 12u, 7u}) {
    SCOPED_TRACE(bpp);
    list = reinterpret_cast<VideoMode*>(&modes);
    EXPECT_EQ(modes.GetModes(&list, 0, bpp), bpp == 12 ? -1 : 0);
    EXPECT_EQ(list, nullptr);
  }
  EXPECT_EQ(modes.GetModes(nullptr, 0, 32), 3);
}

TEST_F(ModeTest, QueryModesSortsAllDepthsLargestFirst) {
  QVRVideoMode modes;
  VideoMode* list = nullptr;
  Spy().listModeFlags.clear();
  ASSERT_EQ(modes.QueryModes(&list, SDL_DOUBLEBUF, 0), 8);
  ASSERT_EQ(Spy().listModeFlags.size(), 4u);
  for (Uint32 flags : Spy().listModeFlags)
    EXPECT_EQ(flags, Uint32(SDL_DOUBLEBUF | SDL_FULLSCREEN | SDL_HWSURFACE));
  const VideoMode want[] = {{1280, 1024, 32}, {1024, 768, 32}, {1024, 768, 16}, {1024, 768, 8},
                            {1024, 600, 32},  {800, 600, 16},  {640, 480, 8},   {320, 200, 16}};
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(list[i].width, want[i].width);
    EXPECT_EQ(list[i].height, want[i].height);
    EXPECT_EQ(list[i].bpp, want[i].bpp);
  }
  delete[] list;

  ASSERT_EQ(modes.QueryModes(&list, 0, 8), 2);
  EXPECT_EQ(list[0].width, 1024u);  // one depth: SDL's order
  delete[] list;
  EXPECT_EQ(modes.QueryModes(&list, 0, 24), 0);
  EXPECT_EQ(list, nullptr);

  // One depth that allows any size: -1, and the list is left alone.
  Spy().modes[16] = {qvrtest::FakeModes::kAny, {}};
  VideoMode sentinel;
  list = &sentinel;
  EXPECT_EQ(modes.QueryModes(&list, 0, 0), -1);
  EXPECT_EQ(list, &sentinel);
  // Nothing anywhere: 0 and no list.
  Spy().modes.clear();
  EXPECT_EQ(modes.QueryModes(&list, 0, 0), 0);
  EXPECT_EQ(list, nullptr);
}

TEST_F(ModeTest, RealModeListsAreReadWithoutHarm) {
  Spy().fakeModes = false;
  QVRVideoMode modes;
  VideoMode* list = nullptr;
  int n = modes.QueryModes(&list, 0, 0);
  EXPECT_GE(n, -1);
  if (n <= 0) {
    EXPECT_EQ(list, nullptr);
  }
  delete[](n > 0 ? list : nullptr);
}

}  // namespace
