// Internal: the mixer's channel bookkeeping shared by the API and the mixing
// routines, and the routines themselves (reachable by tests, which call them
// directly while the device is paused).
#ifndef QVR_AUDIO_MIXER_CORE_H
#define QVR_AUDIO_MIXER_CORE_H

#include <cstdint>

#include "qvr3d/mixer.h"

struct QVRMixerAccess {
  /// Frees a channel and narrows the scanned range; lock held.
  static void FreeChannel(unsigned channel);
  /// Bytes per output frame of the open device (1, 2 or 4); 0 when closed.
  static unsigned s_frameBytes;
  /// Mixes every playing channel into `out`; lock held. `kFormat` is the
  /// output's sample format code.
  template <int kFormat>
  static void MixLocked(uint8_t* out, int len);
  /// The SDL callback of an output format.
  template <int kFormat>
  static void Callback(void* user, uint8_t* stream, int len);
};

namespace qvr::detail {

using MixRoutine = void (*)(void* user, uint8_t* stream, int len);

/// The mixing routine (SDL audio callback) of an output format; any code
/// that is not one of the six gets the AUDIO_U8 routine.
MixRoutine MixerRoutine(int format);

/// Writes the format's silence over `len` bytes: 0x80 for AUDIO_U8, 0x8000
/// in the output's byte order for the unsigned 16-bit formats, 0 otherwise.
void FillSilence(int format, uint8_t* out, int len);

}  // namespace qvr::detail

#endif
