// Internal interface of the Microsoft ADPCM decoder (WAV format tag 2).
#ifndef QVR_AUDIO_ADPCM_MS_H
#define QVR_AUDIO_ADPCM_MS_H

#include <cstdint>

namespace qvr::detail {

/// The stream parameters from the WAV format chunk.
struct MSADPCMFormat {
  uint16_t channels = 0;
  uint16_t blockAlign = 0;
  uint16_t samplesPerBlock = 0;
  uint16_t numCoef = 0;
  int16_t coef[7][2] = {};
};

/// Decodes the whole blocks of `in` to signed 16-bit little-endian frames
/// (a trailing partial block is dropped). Fails, with *out untouched, when the
/// parameters cannot describe a block that fits its block align, when a block
/// names a predictor outside the coefficient table, or when memory runs out.
/// On success *out is a malloc block of *outSize bytes (one byte at least).
bool DecodeMSADPCM(const MSADPCMFormat& format, const uint8_t* in, uint32_t inSize, uint8_t** out,
                   uint32_t* outSize);

}  // namespace qvr::detail

#endif
