// IMA (DVI) ADPCM decoder. A block starts, per channel in turn, with
//   first sample (LE16, signed) | step index (1 byte) | reserved (1 byte)
// then groups of 4 bytes per channel in turn, each holding 8 codes of that
// channel, low nibble first, for 8 consecutive frames.
#include "audio/adpcm_ima.h"
#include "io/le.h"

#include <cstdlib>

namespace qvr::detail {

namespace {

const int kSteps[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

const int kIndexStep[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

// For each (step index, code): the signed difference and the next step index,
// so that a code costs one lookup on the index chain.
struct CodeTable {
  int diff[89 * 16];
  uint8_t next[89 * 16];
  CodeTable() {
    for (int index = 0; index < 89; ++index) {
      for (int code = 0; code < 16; ++code) {
        int step = kSteps[index];
        int d = step >> 3;
        if (code & 4) d += step;
        if (code & 2) d += step >> 1;
        if (code & 1) d += step >> 2;
        diff[index * 16 + code] = (code & 8) ? -d : d;
        int n = index + kIndexStep[code];
        next[index * 16 + code] = static_cast<uint8_t>(n < 0 ? 0 : (n > 88 ? 88 : n));
      }
    }
  }
};

const CodeTable& Table() {
  static const CodeTable table;
  return table;
}

struct Channel {
  int sample;
  unsigned index;
};

inline int Expand(const CodeTable& t, Channel& c, unsigned code) {
  unsigned at = c.index * 16 + code;
  int s = c.sample + t.diff[at];
  s = s < -32768 ? -32768 : (s > 32767 ? 32767 : s);
  c.sample = s;
  c.index = t.next[at];
  return s;
}

// Decodes one block into `out` (samplesPerBlock frames). In stereo the two
// channels' groups are decoded side by side: their state chains are
// independent, so the processor overlaps them.
template <int kChannels>
void DecodeBlock(const CodeTable& t, const uint8_t* block, unsigned samplesPerBlock, uint8_t* out) {
  Channel ch[kChannels];
  for (int c = 0; c < kChannels; ++c) {
    const uint8_t* h = block + 4 * c;
    ch[c].sample = static_cast<int16_t>(Get16(h));
    ch[c].index = h[2] > 88 ? 0 : h[2];
    Put16(out + 2 * c, static_cast<uint32_t>(ch[c].sample));
  }
  const uint8_t* p = block + 4 * kChannels;
  out += 2 * kChannels;
  unsigned left = samplesPerBlock - 1;
  while (left >= 8) {
    for (int k = 0; k < 8; ++k) {
      for (int c = 0; c < kChannels; ++c) {
        unsigned byte = p[4 * c + k / 2];
        unsigned code = (k & 1) ? byte >> 4 : byte & 15;
        Put16(out + 2 * (kChannels * k + c), Expand(t, ch[c], code));
      }
    }
    p += 4 * kChannels;
    out += 16 * kChannels;
    left -= 8;
  }
  // A last group that the block's sample count cuts short: only the frames
  // that belong to the block are written.
  for (unsigned k = 0; k < left; ++k) {
    for (int c = 0; c < kChannels; ++c) {
      unsigned byte = p[4 * c + k / 2];
      unsigned code = (k & 1) ? byte >> 4 : byte & 15;
      Put16(out + 2 * (kChannels * k + c), Expand(t, ch[c], code));
    }
  }
}

}  // namespace

bool DecodeIMAADPCM(const IMAADPCMFormat& format, const uint8_t* in, uint32_t inSize, uint8_t** out,
                    uint32_t* outSize) {
  const unsigned channels = format.channels;
  if (channels < 1 || channels > 2 || format.blockAlign == 0 || format.samplesPerBlock < 1)
    return false;
  const uint64_t groups = (static_cast<uint64_t>(format.samplesPerBlock) - 1 + 7) / 8;
  if (4u * channels * (1 + groups) > format.blockAlign) return false;

  const uint32_t blocks = inSize / format.blockAlign;
  const uint64_t blockBytes = static_cast<uint64_t>(format.samplesPerBlock) * channels * 2;
  const uint64_t total = blocks * blockBytes;
  if (total > 0xFFFFFFFFu) return false;
  uint8_t* decoded = static_cast<uint8_t*>(std::malloc(total ? static_cast<size_t>(total) : 1));
  if (!decoded) return false;

  const CodeTable& table = Table();
  for (uint32_t b = 0; b < blocks; ++b) {
    const uint8_t* block = in + static_cast<size_t>(b) * format.blockAlign;
    uint8_t* dst = decoded + static_cast<size_t>(b) * blockBytes;
    if (channels == 2)
      DecodeBlock<2>(table, block, format.samplesPerBlock, dst);
    else
      DecodeBlock<1>(table, block, format.samplesPerBlock, dst);
  }
  *out = decoded;
  *outSize = static_cast<uint32_t>(total);
  return true;
}

}  // namespace qvr::detail
