// QVRMusic: header-only loading, chunk streaming with conversion to the
// output format in two preallocated buffers, position and rewinding.
#include "qvr3d/music.h"

#include <cstdlib>
#include <cstring>

#include "audio/convert.h"
#include "audio/music_read.h"
#include "audio/readers.h"
#include "qvr3d/core.h"
#include "qvr3d/mixer.h"
#include "qvr3d/sound.h"
#include "qvr3d/stream.h"

using qvr::detail::SampleBytes;

QVRMusic::QVRMusic()
    : m_format(0),
      m_freq(0),
      m_channels(0),
      m_data(nullptr),
      m_size(0),
      m_pos(0),
      m_dataSize(0),
      m_file(nullptr),
      m_dataStart(0),
      m_type(0),
      m_outFormat(0),
      m_outFreq(0),
      m_outChannels(0),
      m_buffers{nullptr, nullptr},
      m_capacity(0),
      m_ahead(nullptr),
      m_aheadStart(0),
      m_aheadEnd(0),
      m_refused(false),
      m_ownsFile(false),
      m_workChannels(0) {}

QVRMusic::QVRMusic(const char*) : QVRMusic() {}

QVRMusic::~QVRMusic() {
  std::free(m_buffers[0]);
  std::free(m_buffers[1]);
  std::free(m_ahead);
  if (m_ownsFile) delete m_file;
}

void QVRMusic::Clear() {
  std::free(m_buffers[0]);
  std::free(m_buffers[1]);
  m_buffers[0] = m_buffers[1] = nullptr;
  m_capacity = 0;
  std::free(m_ahead);
  m_ahead = nullptr;
  m_aheadStart = m_aheadEnd = 0;
  if (m_ownsFile) delete m_file;
  m_ownsFile = false;
  m_file = nullptr;
  m_data = nullptr;
  m_format = m_freq = m_channels = 0;
  m_size = m_pos = m_dataSize = m_dataStart = 0;
  m_type = 0;
  m_refused = false;
  m_workChannels = 0;
}

bool QVRMusic::Load(QVRResFile& file, int type) {
  // Reloading from the owned stream: it must survive the clearing.
  QVRResFile* owned = (&file == m_file && m_ownsFile) ? m_file : nullptr;
  if (owned) m_ownsFile = false;
  const bool ok = LoadFrom(file, type);
  if (owned) {
    if (ok)
      m_ownsFile = true;
    else
      delete owned;
  }
  return ok;
}

bool QVRMusic::LoadFrom(QVRResFile& file, int type) {
  if (!file.Good()) {
    Clear();
    return false;
  }
  if (type == MUS_AUTO) {
    type = qvr::detail::DetectSoundFile(file);
    if (type == 0) type = -1;
  }
  Clear();
  bool ok = false;
  switch (type) {
    case MUS_WAV:
      ok = LoadWAV(file);
      break;
    case MUS_AIFF:
      ok = LoadAIFF(file);
      break;
    case MUS_AU:
      ok = LoadAU(file);
      break;
    default:
      break;
  }
  return Finish(file, type, ok);
}

bool QVRMusic::LoadOwned(QVRResFile* file, int type) {
  if (!file) {
    Clear();
    return false;
  }
  if (file == m_file && m_ownsFile) return Load(*file, type);
  const bool ok = Load(*file, type);
  if (ok)
    m_ownsFile = true;
  else
    delete file;
  return ok;
}

bool QVRMusic::Finish(QVRResFile& file, int type, bool ok) {
  if (!ok) {
    Clear();
    return false;
  }
  m_type = type;
  m_file = &file;
  if (m_outFormat == 0) {
    m_outFormat = m_format;
    m_outFreq = m_freq;
    m_outChannels = m_channels;
  }
  Prepare();
  return true;
}

#define QVR_MUSIC_HEADER(reader)                        \
  qvr::detail::MusicHeader header;                      \
  if (!qvr::detail::reader(file, header)) return false; \
  m_format = header.format;                             \
  m_freq = header.freq;                                 \
  m_channels = header.channels;                         \
  m_dataStart = header.dataStart;                       \
  m_dataSize = header.dataSize;                         \
  return true

bool QVRMusic::LoadWAV(QVRResFile& file) { QVR_MUSIC_HEADER(ReadMusicWAV); }
bool QVRMusic::LoadAIFF(QVRResFile& file) { QVR_MUSIC_HEADER(ReadMusicAIFF); }
bool QVRMusic::LoadAU(QVRResFile& file) { QVR_MUSIC_HEADER(ReadMusicAU); }
#undef QVR_MUSIC_HEADER

bool QVRMusic::LoadOGG(QVRResFile&) { return false; }
bool QVRMusic::LoadName(const char*, int) { return false; }
bool QVRMusic::Save(QVRResFile&, int) { return false; }

unsigned QVRMusic::MemoryUsed() const { return m_size + static_cast<unsigned>(sizeof(QVRMusic)); }

void QVRMusic::SetMixerFormat() {
  QVRMixer* mixer = QVRMixer::Instance();
  if (!mixer || mixer->Status() == 0) return;
  const QVRAudioSpec& spec = mixer->Spec();
  ChangeFormat(spec.format, spec.freq, spec.channels);
}

void QVRMusic::ChangeFormat(int format, int freq, int channels) {
  m_outFormat = format;
  m_outFreq = freq;
  m_outChannels = channels;
  Prepare();
}

// The largest chunk the conversion makes is the converted size of a full
// file chunk: the reducing steps come first, so no intermediate is larger
// than both the file chunk and the result. Both buffers get that size here,
// on the caller's thread, so that NextData never allocates.
void QVRMusic::Prepare() {
  m_refused = false;
  m_data = nullptr;
  m_size = 0;
  if (m_type == 0) return;
  const unsigned fileBytes = SampleBytes(m_format);
  unsigned bytes = fileBytes, channels = static_cast<unsigned>(m_channels);
  uint64_t size = kChunkBytes;
  if (m_channels == 2 && m_outChannels == 1) size /= 2, channels = 1;
  int64_t rate = m_freq;
  while (rate > m_outFreq && rate > 0) {
    const uint64_t frames = size / (bytes * channels);
    size = (frames + 1) / 2 * bytes * channels;
    rate /= 2;
  }
  if ((m_format ^ m_outFormat) & 0xFF) {
    switch (m_outFormat & 0x10FF) {
      case 0x0008:
        if (bytes == 2) size /= 2, bytes = 1;
        break;
      case 0x0010:
      case 0x1010:
        if (bytes == 1) size *= 2, bytes = 2;
        break;
      default:
        break;
    }
  }
  bool tooLarge = rate <= 0 && rate < m_outFreq;  // doubling would never end
  while (!tooLarge && rate < m_outFreq) {
    size *= 2;
    rate *= 2;
    tooLarge = size > kMaxChunkBytes;
  }
  if (m_channels == 1 && m_outChannels == 2) size *= 2;
  if (tooLarge || size > kMaxChunkBytes) {
    QVR::WARN("Sound: music conversion from %d Hz to %d Hz needs too large chunks - %s\n", m_freq,
              m_outFreq, m_file ? qvr::detail::StreamName(*m_file) : "(none)");
    m_refused = true;
    return;
  }
  if (!m_ahead) m_ahead = static_cast<unsigned char*>(std::malloc(kAheadBytes));
  m_aheadStart = m_aheadEnd = 0;
  const uint32_t capacity = static_cast<uint32_t>(size > kChunkBytes ? size : kChunkBytes);
  if (capacity != m_capacity || !m_buffers[0] || !m_buffers[1]) {
    std::free(m_buffers[0]);
    std::free(m_buffers[1]);
    m_buffers[0] = static_cast<unsigned char*>(std::malloc(capacity));
    m_buffers[1] = static_cast<unsigned char*>(std::malloc(capacity));
    m_capacity = capacity;
    if (!m_buffers[0] || !m_buffers[1] || !m_ahead) {
      QVR::WARN("Sound: not enough memory for music chunks (%u bytes)\n",
                static_cast<unsigned>(capacity));
      m_refused = true;
    }
  }
}

const unsigned char* QVRMusic::Rewind() {
  m_pos = 0;
  m_size = 0;
  m_data = nullptr;
  m_aheadStart = m_aheadEnd = 0;
  return nullptr;
}

unsigned char* QVRMusic::Other() { return m_data == m_buffers[0] ? m_buffers[1] : m_buffers[0]; }

void QVRMusic::Swap() { m_data = Other(); }

// ---- Streaming ---------------------------------------------------------------

const unsigned char* QVRMusic::NextData() {
  if (m_type == 0 || !m_file || m_refused || !m_ahead) return nullptr;
  const uint32_t remaining = m_dataSize - m_pos;
  const uint32_t length = remaining < kChunkBytes ? remaining : kChunkBytes;
  if (length == 0) return Rewind();
  if (m_size == 0) {
    // A new pass or a new position: what was read ahead is not needed.
    qvr::detail::SeekTo(*m_file, static_cast<uint64_t>(m_dataStart) + m_pos);
    m_aheadStart = m_aheadEnd = 0;
  }
  uint32_t avail = m_aheadEnd - m_aheadStart;
  if (avail < length) {
    // The stream stands right after the bytes read ahead.
    std::memmove(m_ahead, m_ahead + m_aheadStart, avail);
    m_aheadStart = 0;
    const uint32_t unread = remaining - avail;
    const uint32_t want = kAheadBytes - avail < unread ? kAheadBytes - avail : unread;
    uint32_t got = want ? m_file->Read(m_ahead + avail, want) : 0;
    if (got > want) got = want;
    avail += got;
    m_aheadEnd = avail;
  }
  // A short read gives a shorter chunk of whole frames; with no whole frame
  // left the pass ends here.
  const unsigned frame = qvr::detail::FrameBytes(m_format, m_channels);
  uint32_t take = avail < length ? avail : length;
  take -= take % frame;
  if (take == 0) return Rewind();
  m_data = m_ahead + m_aheadStart;
  m_aheadStart += take;
  m_pos += take;
  m_size = take;
  m_workChannels = m_channels;
  if ((m_type == MUS_AIFF || m_type == MUS_AU) && SampleBytes(m_format) == 2)
    qvr::detail::SwapBytes16(m_data, m_size / 2);
  if (m_format == m_outFormat && m_freq == m_outFreq && m_channels == m_outChannels) return m_data;

  int format = m_format;
  int rate = m_freq;
  if (m_channels == 2 && m_outChannels == 1) ConvMono(format);
  while (rate > m_outFreq && rate > 0) {
    ConvDIV2(format);
    rate /= 2;
  }
  if (((format ^ m_outFormat) & 0x1000) && SampleBytes(format) != 1) ConvEndian(format);
  if ((format ^ m_outFormat) & 0x8000) ConvSign(format);
  if ((format ^ m_outFormat) & 0xFF) {
    switch (m_outFormat & 0x10FF) {
      case 0x0008:
        Conv16to8(format);
        break;
      case 0x0010:
        Conv8to16L(format);
        break;
      case 0x1010:
        Conv8to16B(format);
        break;
      default:
        break;
    }
  }
  while (rate < m_outFreq && rate > 0) {
    const uint32_t before = m_size;
    ConvMUL2(format);
    if (m_size == before) break;
    rate *= 2;
  }
  if (m_workChannels == 1 && m_outChannels == 2) {
    const unsigned bytes = SampleBytes(format);
    if (bytes && static_cast<uint64_t>(m_size) * 2 <= m_capacity) {
      qvr::detail::MonoToStereo(m_data, m_size / bytes, bytes, Other());
      m_size *= 2;
      m_workChannels = 2;
      Swap();
    }
  }
  return m_data;
}

unsigned QVRMusic::GetPosition() const {
  const unsigned frame = qvr::detail::FrameBytes(m_format, m_channels);
  if (m_type == 0 || frame == 0) return 0;
  return m_pos / frame;
}

void QVRMusic::SetPosition(unsigned int frame) {
  if (m_type == 0) return;
  uint64_t offset = static_cast<uint64_t>(frame) * qvr::detail::FrameBytes(m_format, m_channels);
  if (offset > m_dataSize) offset = m_dataSize;
  if (offset != m_pos) {
    m_size = 0;
    m_pos = static_cast<uint32_t>(offset);
    m_data = nullptr;
  }
}

// ---- Conversions of the current chunk ----------------------------------------
// Each leaves the chunk alone when there is none or when the result would not
// fit the buffers.

void QVRMusic::ConvEndian(int& format) {
  if (!m_data || SampleBytes(format) != 2) return;
  qvr::detail::SwapBytes16(m_data, m_size / 2);
  format ^= 0x1000;
}

void QVRMusic::ConvSign(int& format) {
  if (!m_data) return;
  qvr::detail::FlipSign(m_data, m_size, format);
  format ^= 0x8000;
}

void QVRMusic::Conv8to16L(int& format) {
  if (!m_data || SampleBytes(format) != 1 || static_cast<uint64_t>(m_size) * 2 > m_capacity) return;
  qvr::detail::Widen8to16(m_data, m_size, Other(), false);
  m_size *= 2;
  Swap();
  format = (format & 0x8000) | 0x0010;
}

void QVRMusic::Conv8to16B(int& format) {
  if (!m_data || SampleBytes(format) != 1 || static_cast<uint64_t>(m_size) * 2 > m_capacity) return;
  qvr::detail::Widen8to16(m_data, m_size, Other(), true);
  m_size *= 2;
  Swap();
  format = (format & 0x8000) | 0x1010;
}

void QVRMusic::Conv16to8(int& format) {
  if (!m_data || SampleBytes(format) != 2) return;
  qvr::detail::Narrow16to8(m_data, m_size / 2, Other(), (format & 0x1000) != 0);
  m_size /= 2;
  Swap();
  format = (format & 0x8000) | 0x0008;
}

void QVRMusic::ConvMUL2(int format) {
  const unsigned frame = SampleBytes(format) * static_cast<unsigned>(m_workChannels);
  if (!m_data || frame == 0 || static_cast<uint64_t>(m_size) * 2 > m_capacity) return;
  const uint32_t frames = m_size / frame;
  qvr::detail::DoubleFrames(m_data, frames, frame, Other());
  m_size = frames * frame * 2;
  Swap();
}

void QVRMusic::ConvDIV2(int format) {
  const unsigned frame = SampleBytes(format) * static_cast<unsigned>(m_workChannels);
  if (!m_data || frame == 0) return;
  const uint32_t kept = qvr::detail::HalveFrames(m_data, m_size / frame, frame, Other());
  m_size = kept * frame;
  Swap();
}

void QVRMusic::ConvMono(int format) {
  const unsigned bytes = SampleBytes(format);
  if (!m_data || m_workChannels != 2 || (bytes != 1 && bytes != 2)) return;
  const uint32_t frames = m_size / (2 * bytes);
  qvr::detail::MixToMono(m_data, frames, format, Other());
  m_size = frames * bytes;
  m_workChannels = 1;
  Swap();
}

// ---- Report ------------------------------------------------------------------

void QVRMusic::PrintInfo() const {
  QVR::LOG("Music stream format : %d Hz, %s (%X), %s, %d bytes (total)\n", m_freq,
           QVRSound::FormatName(m_format), static_cast<unsigned>(m_format),
           m_channels == 1 ? "Mono" : "Stereo", static_cast<int>(m_dataSize));
  const char* type = "none";
  switch (m_type) {
    case MUS_WAV:
      type = "WAV";
      break;
    case MUS_AIFF:
      type = "AIFF";
      break;
    case MUS_AU:
      type = "AU";
      break;
    case 4:
      type = "OGG";
      break;
    default:
      break;
  }
  QVR::LOG("File: type: %s, pos: %d, size: %d, start: %d\n", type, static_cast<int>(m_pos),
           static_cast<int>(m_dataSize), static_cast<int>(m_dataStart));
  if (m_file) QVR::LOG("      name: %s\n", qvr::detail::StreamName(*m_file));
}
