// Internal sample-format conversions on raw buffers, shared by QVRSound and
// the music stream. `in` and `out` never overlap; sizes are in samples or
// frames as named, and the caller provides `out` of the right length.
#ifndef QVR_AUDIO_CONVERT_H
#define QVR_AUDIO_CONVERT_H

#include <cstdint>

namespace qvr::detail {

/// Bytes per sample of a format code (its low byte / 8).
inline unsigned SampleBytes(int format) { return (static_cast<unsigned>(format) & 0xFFu) / 8u; }

/// Byte-swaps `count` 16-bit samples in place.
void SwapBytes16(uint8_t* data, uint32_t count);
/// XORs the high byte of each sample with 0x80, in place: every byte for
/// 8-bit formats, the second (little-endian) or first (big-endian) byte of
/// each pair for 16-bit ones. `size` is in bytes.
void FlipSign(uint8_t* data, uint32_t size, int format);
/// `count` 8-bit samples to 16 bits: b becomes b * 256 in the given order.
void Widen8to16(const uint8_t* in, uint32_t count, uint8_t* out, bool bigEndian);
/// `count` 16-bit samples to 8 bits, keeping each high byte.
void Narrow16to8(const uint8_t* in, uint32_t count, uint8_t* out, bool bigEndian);
/// Writes each of `frames` frames twice.
void DoubleFrames(const uint8_t* in, uint32_t frames, unsigned frameSize, uint8_t* out);
/// Keeps frames 0, 2, 4, ... of `frames`; returns how many were written,
/// (frames + 1) / 2.
uint32_t HalveFrames(const uint8_t* in, uint32_t frames, unsigned frameSize, uint8_t* out);
/// `frames` stereo frames to mono: left + right clipped to the format's
/// range (unsigned formats summed around their middle value).
void MixToMono(const uint8_t* in, uint32_t frames, int format, uint8_t* out);
/// `count` mono samples to stereo frames, each sample written twice.
void MonoToStereo(const uint8_t* in, uint32_t count, unsigned sampleBytes, uint8_t* out);

}  // namespace qvr::detail

#endif
