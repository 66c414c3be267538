// Internal interface of the IMA (DVI) ADPCM decoder (WAV format tag 0x11).
#ifndef QVR_AUDIO_ADPCM_IMA_H
#define QVR_AUDIO_ADPCM_IMA_H

#include <cstdint>

namespace qvr::detail {

/// The stream parameters from the WAV format chunk.
struct IMAADPCMFormat {
  uint16_t channels = 0;
  uint16_t blockAlign = 0;
  uint16_t samplesPerBlock = 0;
};

/// Decodes the whole blocks of `in` to signed 16-bit little-endian frames
/// (a trailing partial block is dropped). Fails, with *out untouched, for
/// more than 2 channels, for parameters that describe a block larger than its
/// block align, or when memory runs out. On success *out is a malloc block
/// of *outSize bytes (one byte at least).
bool DecodeIMAADPCM(const IMAADPCMFormat& format, const uint8_t* in, uint32_t inSize, uint8_t** out,
                    uint32_t* outSize);

}  // namespace qvr::detail

#endif
