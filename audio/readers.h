// Internal interface of the sound file readers (WAV, AIFF, AU) and the
// stream helpers they share.
#ifndef QVR_AUDIO_READERS_H
#define QVR_AUDIO_READERS_H

#include <cstdint>
#include <cstdlib>

#include "io/streamutil.h"

class QVRResFile;

namespace qvr::detail {

/// What a reader produces: plain PCM frames and their description. The data
/// block is owned (malloc) and freed by the destructor unless taken over.
struct SoundData {
  int format = 0;
  int freq = 0;
  int channels = 0;
  uint8_t* data = nullptr;
  uint32_t size = 0;

  SoundData() = default;
  SoundData(const SoundData&) = delete;
  SoundData& operator=(const SoundData&) = delete;
  ~SoundData() { std::free(data); }
};

/// Each reader starts at the stream's current position, logs its failures at
/// WARN level and returns false; on success `out` holds the sound.
bool ReadWAV(QVRResFile& file, SoundData& out);
bool ReadAIFF(QVRResFile& file, SoundData& out);
bool ReadAU(QVRResFile& file, SoundData& out);

/// Bytes per frame of a format code and channel count.
inline unsigned FrameBytes(int format, int channels) {
  return ((static_cast<unsigned>(format) & 0xFFu) / 8u) * static_cast<unsigned>(channels);
}

/// Converts an AIFF 80-bit extended sample rate; false (rate 0) for one that
/// is not a positive value from 2 to 2^30.
bool AIFFRate(const uint8_t ext[10], int* rate);

/// The stream's name for messages, never null.
const char* StreamName(const QVRResFile& file);
/// malloc of `size` bytes (at least one, so that an empty sound still owns a
/// block); null on failure or when `size` does not fit 32 bits.
uint8_t* AllocSamples(uint64_t size);
/// The channel counts a sound may hold (1 or 2); logs and returns false for
/// any other.
bool CheckChannels(long channels, const char* name);

}  // namespace qvr::detail

#endif
