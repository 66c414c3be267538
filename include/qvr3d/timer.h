// QVRTimer: an accurate wait that sleeps in coarse steps and spins for the
// rest.
#ifndef QVR3D_TIMER_H
#define QVR3D_TIMER_H

#include <cstdint>

#include "qvr3d/export.h"
#include "qvr3d/sdlmgr.h"

/// Holds SDL's timer subsystem while it lives.
///
///   QVRTimer timer;
///   for (;;) { DrawFrame(); timer.WaitAcc(16); }
class QVR_API QVRTimer : public QVRSDLMgr {
 public:
  /// Starts SDL's timer; `value` is stored and returned by GetValue.
  explicit QVRTimer(unsigned value = 0);
  ~QVRTimer() override;

  /// The value given to the constructor.
  unsigned GetValue() const { return m_value; }
  /// Waits `ms` milliseconds of SDL ticks: up to 20 ms by spinning, longer
  /// waits sleep the whole tens of milliseconds first. Correct across the
  /// wrap of the 32-bit tick counter.
  void WaitAcc(unsigned ms);

 private:
  uint32_t m_value;
};

#endif
