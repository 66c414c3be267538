// Microsoft ADPCM decoder. A block holds, per channel in turn for each field:
//   predictor index (1 byte) | delta (LE16) | sample 1 (LE16) | sample 2 (LE16)
// then (samples per block - 2) x channels 4-bit codes, high nibble first; in
// stereo the high nibble is the left channel's and the low nibble the right's.
// The header's sample 2 values are the block's first frame, sample 1 its second.
#include "audio/adpcm_ms.h"
#include "io/le.h"

#include <cstdlib>

namespace qvr::detail {

namespace {

const int kAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                             768, 614, 512, 409, 307, 230, 230, 230};

// A delta this large already steps past the whole sample range; the cap keeps
// the products of hostile blocks inside 32 bits.
const int kMaxDelta = 0x7FFFFFFF / 768;

struct Channel {
  int coef1;
  int coef2;
  int delta;
  int sample1;
  int sample2;
};

inline int16_t Le16(const uint8_t* p) { return static_cast<int16_t>(Get16(p)); }

inline int Expand(Channel& c, unsigned code) {
  // The prediction is rounded down (an arithmetic shift), as Windows' own
  // codec and sox's encoder reconstruct it; dividing with truncation instead
  // drifts from the encoder by up to ~140 per sample on ordinary files. The
  // sum is 64-bit: two coefficient products of -32768 each overflow 32 bits.
  int64_t predicted =
      (static_cast<int64_t>(c.sample1) * c.coef1 + static_cast<int64_t>(c.sample2) * c.coef2) >> 8;
  int64_t sample = predicted + static_cast<int64_t>(c.delta) * (static_cast<int>(code ^ 8) - 8);
  int value = sample < -32768 ? -32768 : (sample > 32767 ? 32767 : static_cast<int>(sample));
  int delta = (c.delta * kAdaptation[code]) >> 8;
  c.delta = delta < 16 ? 16 : (delta > kMaxDelta ? kMaxDelta : delta);
  c.sample2 = c.sample1;
  c.sample1 = value;
  return value;
}

// Decodes one block of `channels` (a compile-time 1 or 2) into `out`.
template <int kChannels>
bool DecodeBlock(const MSADPCMFormat& format, const uint8_t* block, uint8_t* out) {
  Channel ch[kChannels];
  const uint8_t* p = block;
  for (int c = 0; c < kChannels; ++c) {
    unsigned predictor = p[c];
    if (predictor >= format.numCoef || predictor >= 7) return false;
    ch[c].coef1 = format.coef[predictor][0];
    ch[c].coef2 = format.coef[predictor][1];
  }
  p += kChannels;
  for (int c = 0; c < kChannels; ++c) ch[c].delta = static_cast<uint16_t>(Le16(p + 2 * c));
  p += 2 * kChannels;
  for (int c = 0; c < kChannels; ++c) ch[c].sample1 = Le16(p + 2 * c);
  p += 2 * kChannels;
  for (int c = 0; c < kChannels; ++c) ch[c].sample2 = Le16(p + 2 * c);
  p += 2 * kChannels;

  for (int c = 0; c < kChannels; ++c) Put16(out + 2 * c, ch[c].sample2);
  out += 2 * kChannels;
  for (int c = 0; c < kChannels; ++c) Put16(out + 2 * c, ch[c].sample1);
  out += 2 * kChannels;

  uint32_t codes = static_cast<uint32_t>(format.samplesPerBlock - 2) * kChannels;
  if (kChannels == 2) {
    // One byte per frame: left in the high nibble, right in the low one.
    for (uint32_t i = 0; i < codes / 2; ++i) {
      unsigned byte = p[i];
      Put16(out, Expand(ch[0], byte >> 4));
      Put16(out + 2, Expand(ch[1], byte & 15));
      out += 4;
    }
  } else {
    for (uint32_t i = 0; i < codes / 2; ++i) {
      unsigned byte = p[i];
      Put16(out, Expand(ch[0], byte >> 4));
      Put16(out + 2, Expand(ch[0], byte & 15));
      out += 4;
    }
    if (codes & 1) Put16(out, Expand(ch[0], p[codes / 2] >> 4));
  }
  return true;
}

}  // namespace

bool DecodeMSADPCM(const MSADPCMFormat& format, const uint8_t* in, uint32_t inSize, uint8_t** out,
                   uint32_t* outSize) {
  const unsigned channels = format.channels;
  if (channels < 1 || channels > 2 || format.blockAlign == 0 || format.samplesPerBlock < 2)
    return false;
  // Every block must hold its header and all of its codes.
  uint64_t needed =
      7u * channels + (static_cast<uint64_t>(format.samplesPerBlock - 2) * channels + 1) / 2;
  if (needed > format.blockAlign) return false;

  const uint32_t blocks = inSize / format.blockAlign;
  const uint64_t blockBytes = static_cast<uint64_t>(format.samplesPerBlock) * channels * 2;
  const uint64_t total = blocks * blockBytes;
  if (total > 0xFFFFFFFFu) return false;
  uint8_t* decoded = static_cast<uint8_t*>(std::malloc(total ? static_cast<size_t>(total) : 1));
  if (!decoded) return false;

  for (uint32_t b = 0; b < blocks; ++b) {
    const uint8_t* block = in + static_cast<size_t>(b) * format.blockAlign;
    uint8_t* dst = decoded + static_cast<size_t>(b) * blockBytes;
    bool ok =
        channels == 2 ? DecodeBlock<2>(format, block, dst) : DecodeBlock<1>(format, block, dst);
    if (!ok) {
      std::free(decoded);
      return false;
    }
  }
  *out = decoded;
  *outSize = static_cast<uint32_t>(total);
  return true;
}

}  // namespace qvr::detail
