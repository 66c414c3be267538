// QVRSound: loading with type detection, the format conversions and
// ChangeFormat's ordering of them, and the stream helpers of the readers.
#include "qvr3d/sound.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "audio/convert.h"
#include "audio/readers.h"
#include "qvr3d/core.h"
#include "qvr3d/stream.h"

namespace qvr::detail {

const char* StreamName(const QVRResFile& file) {
  const char* name = file.GetName();
  return name ? name : "(unnamed)";
}

uint8_t* AllocSamples(uint64_t size) {
  if (size > 0xFFFFFFFFu) return nullptr;
  return static_cast<uint8_t*>(std::malloc(size ? static_cast<size_t>(size) : 1));
}

bool CheckChannels(long channels, const char* name) {
  if (channels == 1 || channels == 2) return true;
  QVR::WARN("Sound: %ld channels not supported - %s\n", channels, name);
  return false;
}

}  // namespace qvr::detail

using qvr::detail::SampleBytes;

namespace {

// A buffer for a conversion's result, or null (with a warning) when the size
// passes 32 bits or memory runs out.
uint8_t* NewBuffer(uint64_t size) {
  uint8_t* data = qvr::detail::AllocSamples(size);
  if (!data)
    QVR::WARN("Sound: not enough memory to convert (%llu bytes)\n",
              static_cast<unsigned long long>(size));
  return data;
}

}  // namespace

QVRSound::QVRSound() : m_format(0), m_freq(0), m_channels(0), m_data(nullptr), m_size(0) {}

QVRSound::QVRSound(const char* name) : QVRSound() { LoadName(name, SND_AUTO); }

QVRSound::~QVRSound() { std::free(m_data); }

void QVRSound::Clear() {
  std::free(m_data);
  m_data = nullptr;
  m_size = 0;
  m_format = 0;
  m_freq = 0;
  m_channels = 0;
}

namespace qvr::detail {

int DetectSoundFile(QVRResFile& file) {
  uint8_t magic[4] = {};
  const bool whole = file.Read(magic, 4) == 4;
  file.SeekStart();
  if (!whole) return 0;
  if (std::memcmp(magic, "RIFF", 4) == 0) return QVRSound::SND_WAV;
  if (std::memcmp(magic, "FORM", 4) == 0) return QVRSound::SND_AIFF;
  if (std::memcmp(magic, ".snd", 4) == 0) return QVRSound::SND_AU;
  return 0;
}

}  // namespace qvr::detail

bool QVRSound::Load(QVRResFile& file, int type) {
  Clear();
  if (!file.Good()) return false;
  if (type == SND_AUTO) {
    type = qvr::detail::DetectSoundFile(file);
    if (type == 0) return false;
  }
  switch (type) {
    case SND_WAV:
      return LoadWAV(file);
    case SND_AIFF:
      return LoadAIFF(file);
    case SND_AU:
      return LoadAU(file);
    default:
      return false;
  }
}

void QVRSound::Adopt(qvr::detail::SoundData& sound) {
  std::free(m_data);
  m_format = sound.format;
  m_freq = sound.freq;
  m_channels = sound.channels;
  m_data = sound.data;
  m_size = sound.size;
  sound.data = nullptr;
}

bool QVRSound::LoadWAV(QVRResFile& file) {
  qvr::detail::SoundData sound;
  if (!qvr::detail::ReadWAV(file, sound)) return false;
  Adopt(sound);
  return true;
}

bool QVRSound::LoadAIFF(QVRResFile& file) {
  qvr::detail::SoundData sound;
  if (!qvr::detail::ReadAIFF(file, sound)) return false;
  Adopt(sound);
  return true;
}

bool QVRSound::LoadAU(QVRResFile& file) {
  qvr::detail::SoundData sound;
  if (!qvr::detail::ReadAU(file, sound)) return false;
  Adopt(sound);
  return true;
}

bool QVRSound::LoadOGG(QVRResFile&) { return false; }

bool QVRSound::Save(QVRResFile&, int) { return false; }

unsigned QVRSound::MemoryUsed() const { return m_size + static_cast<unsigned>(sizeof(QVRSound)); }

const char* QVRSound::FormatName(int format) {
  switch (format) {
    case QVR_AUDIO_U8:
      return "8 bits unsigned";
    case QVR_AUDIO_S8:
      return "8 bits signed";
    case QVR_AUDIO_U16LSB:
      return "16 bits unsigned LSB";
    case QVR_AUDIO_U16MSB:
      return "16 bits unsigned MSB";
    case QVR_AUDIO_S16LSB:
      return "16 bits signed LSB";
    case QVR_AUDIO_S16MSB:
      return "16 bits signed MSB";
    default:
      return "unknown";
  }
}

void QVRSound::PrintInfo() const {
  QVR::LOG("Sound format : %d Hz, %s (%X), %s, %d bytes\n", m_freq, FormatName(m_format),
           static_cast<unsigned>(m_format), m_channels == 1 ? "Mono" : "Stereo",
           static_cast<int>(m_size));
}

void QVRSound::ReplaceData(uint8_t* data, uint32_t size) {
  std::free(m_data);
  m_data = data;
  m_size = size;
}

// ---- Conversions -----------------------------------------------------------

void QVRSound::ConvEndian() {
  if (!m_data || SampleBytes(m_format) != 2) return;
  qvr::detail::SwapBytes16(m_data, m_size / 2);
  m_format ^= 0x1000;
}

void QVRSound::ConvSign() {
  if (!m_data) return;
  qvr::detail::FlipSign(m_data, m_size, m_format);
  m_format ^= 0x8000;
}

void QVRSound::Conv8to16L() {
  if (!m_data || SampleBytes(m_format) != 1) return;
  uint8_t* data = NewBuffer(static_cast<uint64_t>(m_size) * 2);
  if (!data) return;
  qvr::detail::Widen8to16(m_data, m_size, data, false);
  ReplaceData(data, m_size * 2);
  m_format = (m_format & 0x8000) | 0x0010;
}

void QVRSound::Conv8to16B() {
  if (!m_data || SampleBytes(m_format) != 1) return;
  uint8_t* data = NewBuffer(static_cast<uint64_t>(m_size) * 2);
  if (!data) return;
  qvr::detail::Widen8to16(m_data, m_size, data, true);
  ReplaceData(data, m_size * 2);
  m_format = (m_format & 0x8000) | 0x1010;
}

void QVRSound::Conv16to8() {
  if (!m_data || SampleBytes(m_format) != 2) return;
  const uint32_t count = m_size / 2;
  uint8_t* data = NewBuffer(count);
  if (!data) return;
  qvr::detail::Narrow16to8(m_data, count, data, (m_format & 0x1000) != 0);
  ReplaceData(data, count);
  m_format = (m_format & 0x8000) | 0x0008;
}

void QVRSound::ConvFreqMUL2() {
  const unsigned frameSize = GetFrameSize();
  if (!m_data || frameSize == 0 || m_freq > INT_MAX / 2) return;
  const uint32_t frames = m_size / frameSize;
  uint8_t* data = NewBuffer(static_cast<uint64_t>(frames) * frameSize * 2);
  if (!data) return;
  qvr::detail::DoubleFrames(m_data, frames, frameSize, data);
  ReplaceData(data, frames * frameSize * 2);
  m_freq *= 2;
}

void QVRSound::ConvFreqDIV2() {
  const unsigned frameSize = GetFrameSize();
  if (!m_data || frameSize == 0) return;
  const uint32_t frames = m_size / frameSize;
  uint8_t* data = NewBuffer(static_cast<uint64_t>(frames / 2 + (frames & 1)) * frameSize);
  if (!data) return;
  const uint32_t kept = qvr::detail::HalveFrames(m_data, frames, frameSize, data);
  ReplaceData(data, kept * frameSize);
  m_freq /= 2;
}

void QVRSound::ConvMono() {
  const unsigned sampleBytes = SampleBytes(m_format);
  if (!m_data || m_channels != 2 || (sampleBytes != 1 && sampleBytes != 2)) return;
  const uint32_t frames = m_size / (2 * sampleBytes);
  uint8_t* data = NewBuffer(static_cast<uint64_t>(frames) * sampleBytes);
  if (!data) return;
  qvr::detail::MixToMono(m_data, frames, m_format, data);
  ReplaceData(data, frames * sampleBytes);
  m_channels = 1;
}

void QVRSound::ConvStereo() {
  const unsigned sampleBytes = SampleBytes(m_format);
  if (!m_data || m_channels != 1 || (sampleBytes != 1 && sampleBytes != 2)) return;
  const uint32_t count = m_size / sampleBytes;
  uint8_t* data = NewBuffer(static_cast<uint64_t>(count) * sampleBytes * 2);
  if (!data) return;
  qvr::detail::MonoToStereo(m_data, count, sampleBytes, data);
  ReplaceData(data, count * sampleBytes * 2);
  m_channels = 2;
}

void QVRSound::ChangeFormat(int format, int freq, int channels) {
  if (!m_data) return;
  if (m_channels == 2 && channels == 1) ConvMono();
  // The rate loops stop as soon as a step cannot change the rate any more
  // (rate 0 or 1, a buffer that cannot grow), so no request can spin.
  if (m_freq / 100 != freq / 100) {
    while (freq < m_freq && m_freq > 1) {
      const int before = m_freq;
      ConvFreqDIV2();
      if (m_freq == before) break;
    }
  }
  if (((m_format ^ format) & 0x1000) && SampleBytes(m_format) != 1) ConvEndian();
  if ((m_format ^ format) & 0x8000) ConvSign();
  if ((m_format ^ format) & 0xFF) {
    switch (format & 0x10FF) {
      case 0x0008:
        Conv16to8();
        break;
      case 0x0010:
        Conv8to16L();
        break;
      case 0x1010:
        Conv8to16B();
        break;
      default:
        break;
    }
  }
  if (m_freq / 100 != freq / 100) {
    while (freq > m_freq && m_freq > 0) {
      const int before = m_freq;
      ConvFreqMUL2();
      if (m_freq == before) break;
    }
  }
  if (m_channels == 1 && channels == 2) ConvStereo();
}
