// Internal interface of the sound file readers (WAV, AIFF, AU) and the
// stream helpers they share.
#ifndef QVR_AUDIO_READERS_H
#define QVR_AUDIO_READERS_H

#include <cstdint>
#include <cstdlib>

#include "audio/adpcm_ima.h"
#include "audio/adpcm_ms.h"
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

/// What a file's header says of its samples, as read by the header parsers
/// that the sound readers and the streamed music share.
struct SoundHeader {
  int format = 0;  // as stored: 16-bit AIFF and AU data are AUDIO_S16MSB;
                   // WAV ADPCM is described as the AUDIO_S16LSB it decodes to
  int freq = 0;
  int channels = 0;
  unsigned encoding = 0;  // the WAV format tag (1 PCM); 0 for AIFF and AU
  uint64_t streamSize = 0;
  uint64_t dataStart = 0;
  // The data's length as the header gives it: the data chunk's length (WAV),
  // the declared frames held to the SSND chunk (AIFF), the declared size or
  // the rest of the stream (AU). Not held to the stream: a file cut short may
  // hold less (see HeldData).
  uint64_t dataSize = 0;
  MSADPCMFormat ms;    // encoding 2
  IMAADPCMFormat ima;  // encoding 0x11
};

/// What a WAV header parser's caller can play: the sound decodes ADPCM, the
/// streamed music takes PCM only.
enum class WAVCodecs { kPCMAndADPCM, kPCMOnly };

/// Each parser starts at the stream's current position, logs its failures at
/// WARN level ("Sound: ...") and returns false. The WAV parser leaves the
/// stream at the data start.
bool ParseWAVHeader(QVRResFile& file, const char* name, WAVCodecs codecs, SoundHeader& out);
bool ParseAIFFHeader(QVRResFile& file, const char* name, SoundHeader& out);
bool ParseAUHeader(QVRResFile& file, const char* name, SoundHeader& out);

/// Each reader starts at the stream's current position, logs its failures at
/// WARN level and returns false; on success `out` holds the sound.
bool ReadWAV(QVRResFile& file, SoundData& out);
bool ReadAIFF(QVRResFile& file, SoundData& out);
bool ReadAU(QVRResFile& file, SoundData& out);

/// Bytes per frame of a format code and channel count.
inline unsigned FrameBytes(int format, int channels) {
  return ((static_cast<unsigned>(format) & 0xFFu) / 8u) * static_cast<unsigned>(channels);
}

/// The bytes of the data that the stream still holds, in whole frames.
inline uint64_t HeldData(const SoundHeader& header) {
  const uint64_t avail =
      header.streamSize > header.dataStart ? header.streamSize - header.dataStart : 0;
  const uint64_t size = header.dataSize < avail ? header.dataSize : avail;
  return size - size % FrameBytes(header.format, header.channels);
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

// The kind of sound file whose signature ("RIFF", "FORM", ".snd") the stream
// holds at its current position: 1 WAV, 2 AIFF, 3 AU (the type ids of
// QVRSound and QVRMusic), 0 none. The stream is put back at its start.
int DetectSoundFile(QVRResFile& file);

}  // namespace qvr::detail

#endif
