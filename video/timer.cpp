// QVRTimer: the accurate wait.
#include "qvr3d/timer.h"

#include <SDL.h>

QVRTimer::QVRTimer(unsigned value) : QVRSDLMgr(SDL_INIT_TIMER), m_value(value) {}

QVRTimer::~QVRTimer() = default;

void QVRTimer::WaitAcc(unsigned ms) {
  // Elapsed ticks in unsigned arithmetic: a deadline of start + ms would wrap
  // with the 32-bit tick counter (every 49.7 days) and end the wait at once
  // or never.
  const Uint32 start = SDL_GetTicks();
  // SDL_Delay wakes late by up to a scheduler slice; whole tens of
  // milliseconds keep that inside the wait, and the spin ends it on the tick.
  if (ms > 20) SDL_Delay((ms / 10) * 10);
  while (SDL_GetTicks() - start < ms) {
  }
}
