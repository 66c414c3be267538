// The mixing routines: one SDL audio callback per output format. Each
// channel's sample times its side volume, divided by 128 truncating toward
// zero, is added to a 32-bit sum per output sample; the sums are biased and
// clipped once at the end. The work is organised per channel over blocks of
// the buffer rather than per sample over channels, which gives the same
// bytes: integer sums do not depend on their order, and a channel that ends,
// loops or fetches its next music chunk does so at the same sample.
#include <SDL.h>

#include <atomic>
#include <cstring>

#include "audio/mixer_core.h"
#include "qvr3d/music.h"
#include "qvr3d/sound.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define QVR_MIX_SSE2 1
#endif

namespace {

// Traits of an output format.
template <int kFormat>
struct Out {
  static constexpr unsigned kBytes = (kFormat & 0xFF) / 8;
  static constexpr bool kBig = (kFormat & 0x1000) != 0;
  static constexpr bool kUnsigned = (kFormat & 0x8000) == 0;
  static constexpr int kMin = kBytes == 1 ? -128 : -32768;
  static constexpr int kMax = kBytes == 1 ? 127 : 32767;

  // A channel sample centred on 0.
  static int Read(const uint8_t* p) {
    if (kBytes == 1)
      return static_cast<int>(
          static_cast<int8_t>(static_cast<uint8_t>(p[0] ^ (kUnsigned ? 0x80 : 0))));
    const unsigned v = kBig ? (static_cast<unsigned>(p[0]) << 8 | p[1])
                            : (static_cast<unsigned>(p[1]) << 8 | p[0]);
    return static_cast<int>(
        static_cast<int16_t>(static_cast<uint16_t>(v ^ (kUnsigned ? 0x8000u : 0u))));
  }
  // A clipped sum, biased and written in the format's byte order.
  static void Write(uint8_t* p, int sum) {
    const int clipped = sum < kMin ? kMin : (sum > kMax ? kMax : sum);
    if (kBytes == 1) {
      p[0] = static_cast<uint8_t>(static_cast<unsigned>(clipped) ^ (kUnsigned ? 0x80u : 0u));
      return;
    }
    const unsigned v = (static_cast<unsigned>(clipped) ^ (kUnsigned ? 0x8000u : 0u)) & 0xFFFFu;
    p[kBig ? 0 : 1] = static_cast<uint8_t>(v >> 8);
    p[kBig ? 1 : 0] = static_cast<uint8_t>(v);
  }
};

constexpr unsigned kBlock = 2048;  // output samples summed at a time

#if QVR_MIX_SSE2
inline __m128i Load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline __m128i Swap16(__m128i v) {
  return _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
}

// acc[0..8) += (s * vol) / 128 for eight 16-bit samples, truncating toward
// zero: a negative product gets 127 added before the arithmetic shift. At
// volume 128 on both sides the quotient is the sample itself.
template <bool kFull>
inline void AddScaled(__m128i s, __m128i vols, int32_t* acc) {
  __m128i p0, p1;
  if (kFull) {
    p0 = _mm_srai_epi32(_mm_unpacklo_epi16(s, s), 16);
    p1 = _mm_srai_epi32(_mm_unpackhi_epi16(s, s), 16);
  } else {
    const __m128i lo = _mm_mullo_epi16(s, vols), hi = _mm_mulhi_epi16(s, vols);
    const __m128i round = _mm_set1_epi32(127);
    p0 = _mm_unpacklo_epi16(lo, hi);
    p1 = _mm_unpackhi_epi16(lo, hi);
    p0 = _mm_srai_epi32(_mm_add_epi32(p0, _mm_and_si128(_mm_srai_epi32(p0, 31), round)), 7);
    p1 = _mm_srai_epi32(_mm_add_epi32(p1, _mm_and_si128(_mm_srai_epi32(p1, 31), round)), 7);
  }
  __m128i* a = reinterpret_cast<__m128i*>(acc);
  _mm_storeu_si128(a, _mm_add_epi32(_mm_loadu_si128(a), p0));
  _mm_storeu_si128(a + 1, _mm_add_epi32(_mm_loadu_si128(a + 1), p1));
}

// Eight channel samples widened to 16 bits and centred.
template <int kFormat>
inline __m128i Samples16(const uint8_t* p) {
  __m128i v = Load(p);
  if (Out<kFormat>::kBig) v = Swap16(v);
  if (Out<kFormat>::kUnsigned) v = _mm_xor_si128(v, _mm_set1_epi16(static_cast<int16_t>(0x8000)));
  return v;
}
#endif

#if QVR_MIX_SSE2
// The vector part of Accumulate; returns how many samples it took.
template <int kFormat, bool kFull>
unsigned AccumulateVector(const uint8_t* src, int32_t* acc, unsigned count, int even, int odd) {
  using F = Out<kFormat>;
  const __m128i vols = _mm_set_epi16(static_cast<int16_t>(odd), static_cast<int16_t>(even),
                                     static_cast<int16_t>(odd), static_cast<int16_t>(even),
                                     static_cast<int16_t>(odd), static_cast<int16_t>(even),
                                     static_cast<int16_t>(odd), static_cast<int16_t>(even));
  unsigned i = 0;
  if (F::kBytes == 2) {
    // A cache line per step, with the line 1 KiB ahead asked for: with dozens
    // of channels the hardware cannot follow every stream by itself.
    for (; i + 32 <= count; i += 32) {
      _mm_prefetch(reinterpret_cast<const char*>(src + 2 * i + 1024), _MM_HINT_T0);
      AddScaled<kFull>(Samples16<kFormat>(src + 2 * i), vols, acc + i);
      AddScaled<kFull>(Samples16<kFormat>(src + 2 * i + 16), vols, acc + i + 8);
      AddScaled<kFull>(Samples16<kFormat>(src + 2 * i + 32), vols, acc + i + 16);
      AddScaled<kFull>(Samples16<kFormat>(src + 2 * i + 48), vols, acc + i + 24);
    }
    for (; i + 8 <= count; i += 8) AddScaled<kFull>(Samples16<kFormat>(src + 2 * i), vols, acc + i);
  } else {
    for (; i + 16 <= count; i += 16) {
      if ((i & 63) == 0) _mm_prefetch(reinterpret_cast<const char*>(src + i + 1024), _MM_HINT_T0);
      __m128i v = Load(src + i);
      if (F::kUnsigned) v = _mm_xor_si128(v, _mm_set1_epi8(static_cast<char>(0x80)));
      AddScaled<kFull>(_mm_srai_epi16(_mm_unpacklo_epi8(v, v), 8), vols, acc + i);
      AddScaled<kFull>(_mm_srai_epi16(_mm_unpackhi_epi8(v, v), 8), vols, acc + i + 8);
    }
  }
  return i;
}
#endif

// acc[i] += (sample i * its side's volume) / 128 for `count` samples; the
// side of sample i is left when (parity + i) is even.
template <int kFormat>
void Accumulate(const uint8_t* src, int32_t* acc, unsigned count, unsigned parity, int volLeft,
                int volRight) {
  using F = Out<kFormat>;
  const int even = (parity & 1) ? volRight : volLeft, odd = (parity & 1) ? volLeft : volRight;
  if (even == 0 && odd == 0) return;  // every product is 0
  unsigned i = 0;
#if QVR_MIX_SSE2
  i = (even == 128 && odd == 128) ? AccumulateVector<kFormat, true>(src, acc, count, even, odd)
                                  : AccumulateVector<kFormat, false>(src, acc, count, even, odd);
#endif
  for (; i < count; ++i) {
    const int vol = (i & 1) ? odd : even;
    acc[i] += F::Read(src + F::kBytes * i) * vol / 128;
  }
}

// Writes `count` sums, biased and clipped.
template <int kFormat>
void WriteSums(const int32_t* acc, uint8_t* out, unsigned count) {
  using F = Out<kFormat>;
  unsigned i = 0;
#if QVR_MIX_SSE2
  const __m128i* a = reinterpret_cast<const __m128i*>(acc);
  if (F::kBytes == 2) {
    for (; i + 8 <= count; i += 8, a += 2) {
      // packssdw clips to -32768..32767.
      __m128i v = _mm_packs_epi32(_mm_loadu_si128(a), _mm_loadu_si128(a + 1));
      if (F::kUnsigned) v = _mm_xor_si128(v, _mm_set1_epi16(static_cast<int16_t>(0x8000)));
      if (F::kBig) v = Swap16(v);
      Store(out + 2 * i, v);
    }
  } else {
    for (; i + 16 <= count; i += 16, a += 4) {
      const __m128i w0 = _mm_packs_epi32(_mm_loadu_si128(a), _mm_loadu_si128(a + 1));
      const __m128i w1 = _mm_packs_epi32(_mm_loadu_si128(a + 2), _mm_loadu_si128(a + 3));
      __m128i v = _mm_packs_epi16(w0, w1);  // clips to -128..127
      if (F::kUnsigned) v = _mm_xor_si128(v, _mm_set1_epi8(static_cast<char>(0x80)));
      Store(out + i, v);
    }
  }
#endif
  for (; i < count; ++i) F::Write(out + F::kBytes * i, acc[i]);
}

}  // namespace

unsigned QVRMixerAccess::s_frameBytes = 0;

// The end of a channel's current buffer: the next music chunk, another play,
// or the end of the channel. A chunk or a sound without a whole output frame
// ends the channel, so no routine can spin on data that never comes.
static void EndOfData(QVRMixChannel& c, unsigned channel) {
  const unsigned frame = QVRMixerAccess::s_frameBytes ? QVRMixerAccess::s_frameBytes : 1;
  auto nextPlay = [&c]() {
    if (c.loop != 255 && c.loop > 0) --c.loop;  // a count of 0 stops here too
    return c.loop > 0;
  };
  if (c.music) {
    c.cursor = c.music->NextData();
    if (!c.cursor) {
      if (!nextPlay()) return QVRMixerAccess::FreeChannel(channel);
      c.cursor = c.music->NextData();
    }
    c.left = c.cursor ? c.music->GetSize() - c.music->GetSize() % frame : 0;
    if (c.left == 0) QVRMixerAccess::FreeChannel(channel);
    return;
  }
  if (!c.sound || !nextPlay()) return QVRMixerAccess::FreeChannel(channel);
  c.cursor = c.sound->GetData();
  c.left = c.cursor ? c.sound->GetSize() - c.sound->GetSize() % frame : 0;
  if (c.left == 0) QVRMixerAccess::FreeChannel(channel);
}

template <int kFormat>
void QVRMixerAccess::MixLocked(uint8_t* out, int len) {
  using F = Out<kFormat>;
  QVRMixChannel* table = QVRMixer::m_table;
  const unsigned samples = len > 0 ? static_cast<unsigned>(len) / F::kBytes : 0;
  int32_t acc[kBlock];
  for (unsigned start = 0; start < samples; start += kBlock) {
    const unsigned count = samples - start < kBlock ? samples - start : kBlock;
    std::memset(acc, 0, count * sizeof(int32_t));
    // The range is re-read after each channel: freeing one narrows it.
    for (unsigned ch = QVRMixer::m_first.load(std::memory_order_relaxed);
         ch <= QVRMixer::m_last.load(std::memory_order_relaxed) && ch < QVRMixer::m_nbChannels;
         ++ch) {
      QVRMixChannel& c = table[ch];
#if QVR_MIX_SSE2
      // The start of the next channel's data, while this one is mixed.
      if (ch + 1 < QVRMixer::m_nbChannels && table[ch + 1].state == 1 && table[ch + 1].cursor) {
        const char* next = reinterpret_cast<const char*>(table[ch + 1].cursor);
        const unsigned lines = table[ch + 1].left < 1024 ? table[ch + 1].left / 64 + 1 : 16;
        for (unsigned line = 0; line < lines; ++line) _mm_prefetch(next + 64 * line, _MM_HINT_T0);
      }
#endif
      unsigned done = 0;
      while (done < count && c.state == 1) {
        if (c.left < F::kBytes) {
          EndOfData(c, ch);
          continue;
        }
        unsigned take = c.left / F::kBytes;
        if (take > count - done) take = count - done;
        Accumulate<kFormat>(c.cursor, acc + done, take, start + done, c.volLeft, c.volRight);
        c.cursor += take * F::kBytes;
        c.left -= take * F::kBytes;
        done += take;
        if (c.left < F::kBytes) EndOfData(c, ch);
      }
    }
    WriteSums<kFormat>(acc, out + start * F::kBytes, count);
  }
  // A length that is not a whole number of samples: the odd byte is silence.
  if (len > 0 && static_cast<unsigned>(len) % F::kBytes)
    qvr::detail::FillSilence(kFormat, out + samples * F::kBytes,
                             static_cast<int>(static_cast<unsigned>(len) % F::kBytes));
}

template <int kFormat>
void QVRMixerAccess::Callback(void*, uint8_t* stream, int len) {
  if (QVRMixer::m_nbActive.load(std::memory_order_relaxed) == 0 ||
      QVRMixer::m_last.load(std::memory_order_relaxed) <
          QVRMixer::m_first.load(std::memory_order_relaxed)) {
    // SDL fills an idle buffer with 0 for the unsigned 16-bit formats, whose
    // silence is 0x8000.
    if ((kFormat & 0xFF) == 16 && !(kFormat & 0x8000))
      qvr::detail::FillSilence(kFormat, stream, len);
    return;
  }
  if (SDL_mutexP(QVRMixer::m_mutex) < 0) return;
  MixLocked<kFormat>(stream, len);
  SDL_mutexV(QVRMixer::m_mutex);
}

namespace qvr::detail {

MixRoutine MixerRoutine(int format) {
  switch (format) {
    case QVR_AUDIO_S8:
      return &QVRMixerAccess::Callback<QVR_AUDIO_S8>;
    case QVR_AUDIO_U16LSB:
      return &QVRMixerAccess::Callback<QVR_AUDIO_U16LSB>;
    case QVR_AUDIO_S16LSB:
      return &QVRMixerAccess::Callback<QVR_AUDIO_S16LSB>;
    case QVR_AUDIO_U16MSB:
      return &QVRMixerAccess::Callback<QVR_AUDIO_U16MSB>;
    case QVR_AUDIO_S16MSB:
      return &QVRMixerAccess::Callback<QVR_AUDIO_S16MSB>;
    default:
      return &QVRMixerAccess::Callback<QVR_AUDIO_U8>;
  }
}

void FillSilence(int format, uint8_t* out, int len) {
  if (len <= 0) return;
  if ((format & 0xFF) == 16 && !(format & 0x8000)) {
    const uint8_t high = 0x80, low = 0x00;
    const bool big = (format & 0x1000) != 0;
    for (int i = 0; i < len; ++i) out[i] = ((i & 1) == (big ? 0 : 1)) ? high : low;
    return;
  }
  std::memset(out, format == QVR_AUDIO_U8 ? 0x80 : 0x00, static_cast<size_t>(len));
}

}  // namespace qvr::detail
