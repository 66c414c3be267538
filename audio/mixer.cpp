// QVRMixer: device start-up and shutdown, the channel table and every channel
// operation under the one lock the audio callback shares.
#include "qvr3d/mixer.h"

#include <SDL.h>

#include "audio/mixer_core.h"
#include "qvr3d/core.h"
#include "qvr3d/music.h"
#include "qvr3d/sound.h"

QVRMixer* QVRMixer::m_instance = nullptr;
QVRMixChannel* QVRMixer::m_table = nullptr;
unsigned QVRMixer::m_nbChannels = 0;
unsigned QVRMixer::m_next = 0;
std::atomic<unsigned> QVRMixer::m_nbActive{0};
std::atomic<unsigned> QVRMixer::m_first{0};
std::atomic<unsigned> QVRMixer::m_last{0};
SDL_mutex* QVRMixer::m_mutex = nullptr;
int QVRMixer::m_clipMin = 0;
int QVRMixer::m_clipMax = 0;
int QVRMixer::m_silence = 0;

namespace {

constexpr unsigned kNone = 0xFFFFFFFFu;
constexpr auto kRelaxed = std::memory_order_relaxed;

inline unsigned Load(const std::atomic<unsigned>& v) { return v.load(kRelaxed); }
inline void Store(std::atomic<unsigned>& v, unsigned x) { v.store(x, kRelaxed); }

const char* OutputName(int format) {
  switch (format) {
    case QVR_AUDIO_U8:
      return "unsigned 8 bits";
    case QVR_AUDIO_S8:
      return "signed 8 bits";
    case QVR_AUDIO_U16LSB:
      return "unsigned 16 bits, little endian";
    case QVR_AUDIO_U16MSB:
      return "unsigned 16 bits, big endian";
    case QVR_AUDIO_S16LSB:
      return "signed 16 bits, little endian";
    case QVR_AUDIO_S16MSB:
      return "signed 16 bits, big endian";
    default:
      return "unknown format";
  }
}

}  // namespace

// ---- Table bookkeeping -------------------------------------------------------

void QVRMixerAccess::FreeChannel(unsigned channel) {
  QVRMixChannel* table = QVRMixer::m_table;
  QVRMixChannel& c = table[channel];
  if (c.state == 0) return;
  c.state = 0;
  c.sound = nullptr;
  c.music = nullptr;
  Store(QVRMixer::m_nbActive, Load(QVRMixer::m_nbActive) - 1);
  if (channel < QVRMixer::m_next) QVRMixer::m_next = channel;
  const unsigned count = QVRMixer::m_nbChannels;
  unsigned first = Load(QVRMixer::m_first), last = Load(QVRMixer::m_last);
  if (channel == first) {
    while (first < count && table[first].state != 1) ++first;
    Store(QVRMixer::m_first, first);
  }
  if (channel == last) {
    while (last > 0 && table[last].state != 1) --last;
    Store(QVRMixer::m_last, last);
  }
}

// ---- Life cycle ----------------------------------------------------------------

QVRMixer* QVRMixer::Singleton() {
  if (!m_instance) m_instance = new QVRMixer();
  return m_instance;
}

QVRMixer::QVRMixer() : QVRSDLMgr(SDL_INIT_AUDIO), m_spec(), m_status(0) {
  if (!m_instance) m_instance = this;
}

QVRMixer::~QVRMixer() {
  if (m_status != 0) Exit();
  if (m_instance == this) m_instance = nullptr;
}

bool QVRMixer::Open(int format, int freq, int channels, int samples, bool retry) {
  SDL_AudioSpec wanted = {};
  SDL_AudioSpec granted = {};
  wanted.freq = freq;
  wanted.format = Uint16(format);
  wanted.channels = Uint8(channels);
  wanted.samples = Uint16(samples);
  wanted.callback = qvr::detail::MixerRoutine(format);
  wanted.userdata = nullptr;
  if (SDL_OpenAudio(&wanted, &granted) < 0) {
    QVR::ERR(retry ? "Mixer init error(2): %s\n" : "Mixer init error: %s\n", SDL_GetError());
    QVR::ERR("Mixer format: %d, freq: %d, channels: %d, buffer: %d\n", format, freq, channels,
             samples);
    return false;
  }
  m_spec.freq = granted.freq;
  m_spec.format = granted.format;
  m_spec.channels = granted.channels;
  m_spec.silence = granted.silence;
  m_spec.samples = granted.samples;
  m_spec.size = granted.size;
  return true;
}

bool QVRMixer::Init(int format, int freq, int samples, bool stereo, unsigned int count) {
  if (!(QVRSDLMgr::m_sdlstate & SDL_INIT_AUDIO)) {
    m_status = 0;
    return false;
  }
  if (m_status != 0) Exit();
  if (freq < 4000) freq = 4000;
  if (freq > 48000) freq = 48000;
  const int channels = stereo ? 2 : 1;
  if (samples == 0) samples = ((format & 0xFF) == 8 ? 4096 : 2048) / channels;
  // The lock exists before the audio thread does, so that the thread's
  // start orders its creation before any use.
  m_mutex = SDL_CreateMutex();
  if (!m_mutex) {
    QVR::ERR("Mixer init error: %s\n", SDL_GetError());
    return false;
  }
  bool open = Open(format, freq, channels, samples, false);
  if (open && m_spec.format != Uint16(format)) {
    QVR::DBG("Mixer: wanted format = %d, obtained = %d\n", format, static_cast<int>(m_spec.format));
    SDL_PauseAudio(1);
    SDL_CloseAudio();
    open = Open(m_spec.format, freq, channels, samples, true);
  }
  if (!open) {
    SDL_DestroyMutex(m_mutex);
    m_mutex = nullptr;
    return false;
  }
  if (count < 4) count = 4;
  if (count > 64) count = 64;
  // Filled under the lock, so that the audio thread sees a complete table.
  SDL_mutexP(m_mutex);
  m_table = new QVRMixChannel[count]();
  m_nbChannels = count;
  Store(m_first, count);
  Store(m_last, 0);
  m_next = 0;
  Store(m_nbActive, 0);
  m_silence = m_spec.silence;
  const int bits = m_spec.format & 0xFF;
  const bool isSigned = (m_spec.format & 0x8000) != 0;
  m_clipMin = isSigned ? (bits == 8 ? -128 : -32768) : 0;
  m_clipMax = isSigned ? (bits == 8 ? 127 : 32767) : (bits == 8 ? 255 : 65535);
  QVRMixerAccess::s_frameBytes = static_cast<unsigned>(bits / 8) * m_spec.channels;
  SDL_mutexV(m_mutex);
  m_status = SDL_GetAudioStatus();
  return true;
}

void QVRMixer::Exit() {
  if (m_status == 0) return;
  SDL_PauseAudio(1);
  Lock();
  for (unsigned ch = 0; ch < m_nbChannels; ++ch) QVRMixerAccess::FreeChannel(ch);
  Unlock();
  SDL_CloseAudio();
  m_nbChannels = 0;
  Store(m_nbActive, 0);
  Store(m_first, 0);
  Store(m_last, 0);
  m_next = 0;
  QVRMixerAccess::s_frameBytes = 0;
  SDL_DestroyMutex(m_mutex);
  m_mutex = nullptr;
  delete[] m_table;
  m_table = nullptr;
  m_status = 0;
}

void QVRMixer::Pause() {
  if (m_status == 0) return;
  SDL_PauseAudio(1);
  m_status = SDL_GetAudioStatus();
}

void QVRMixer::Unpause() {
  if (m_status == 0) return;
  SDL_PauseAudio(0);
  m_status = SDL_GetAudioStatus();
}

void QVRMixer::Lock() { SDL_mutexP(m_mutex); }
void QVRMixer::Unlock() { SDL_mutexV(m_mutex); }

bool QVRMixer::Usable(unsigned int channel) const {
  return m_status != 0 && channel < m_nbChannels;
}

// ---- Playing -------------------------------------------------------------------

// Fills in what PlaySound and PlayMusic share once the record holds its data:
// loop, volume, pan, the counters and the scanned range. Lock held.
unsigned QVRMixer::Place(unsigned int channel, unsigned char volume, unsigned char loop, int pan) {
  QVRMixChannel& c = m_table[channel];
  const bool wasFree = c.state == 0;
  c.state = 1;
  if (loop == 0) {
    c.loop = 1;
    c.state = 2;
  } else {
    c.loop = loop;
  }
  c.volume = volume > 128 ? 128 : volume;
  if (m_spec.channels != 2)
    pan = 127;
  else if (pan != 127)
    pan = pan < -100 ? -100 : (pan > 100 ? 100 : pan);
  c.pan = static_cast<int8_t>(pan);
  ComputeVolumes(channel);
  if (wasFree) Store(m_nbActive, Load(m_nbActive) + 1);
  if (m_next == channel)
    while (m_next < m_nbChannels && m_table[m_next].state != 0) ++m_next;
  unsigned first = Load(m_first), last = Load(m_last);
  if (c.state == 1) {
    if (channel < first) Store(m_first, channel);
    if (channel > last) Store(m_last, channel);
  } else {
    if (channel == first) {
      while (first < m_nbChannels && m_table[first].state != 1) ++first;
      Store(m_first, first);
    }
    if (channel == last) {
      while (last > 0 && m_table[last].state != 1) --last;
      Store(m_last, last);
    }
  }
  return channel;
}

unsigned QVRMixer::PlaySound(QVRSound* sound, unsigned int channel, unsigned char volume,
                             unsigned char loop, int pan) {
  if (m_status == 0 || !sound) return kNone;
  const unsigned frame = QVRMixerAccess::s_frameBytes;
  const uint32_t size = sound->GetData() ? sound->GetSize() - sound->GetSize() % frame : 0;
  if (size == 0) {
    QVR::WARN("Mixer: sound has no data\n");
    return kNone;
  }
  Lock();
  if (channel == kNone) channel = m_next;
  if (channel >= m_nbChannels) {
    Unlock();
    QVR::WARN("Mixer: no channel left\n");
    return kNone;
  }
  QVRMixChannel& c = m_table[channel];
  c.sound = sound;
  c.music = nullptr;
  c.cursor = sound->GetData();
  c.left = size;
  Place(channel, volume, loop, pan);
  Unlock();
  return channel;
}

unsigned QVRMixer::PlayMusic(QVRMusic* music, unsigned int channel, unsigned char volume,
                             unsigned char loop, int pan) {
  if (m_status == 0 || !music) return kNone;
  Lock();
  if (channel == kNone) channel = m_next;
  if (channel >= m_nbChannels) {
    Unlock();
    QVR::WARN("Mixer: no channel left\n");
    return kNone;
  }
  QVRMixChannel& c = m_table[channel];
  music->SetPosition(0);
  const unsigned char* chunk = music->NextData();
  const uint32_t frame = QVRMixerAccess::s_frameBytes;
  const uint32_t size = chunk ? music->GetSize() - music->GetSize() % frame : 0;
  if (size == 0) {
    Unlock();
    QVR::WARN("Mixer: music has no data\n");
    return kNone;
  }
  c.sound = nullptr;
  c.music = music;
  c.cursor = chunk;
  c.left = size;
  Place(channel, volume, loop, pan);
  Unlock();
  return channel;
}

// ---- Channel operations --------------------------------------------------------

unsigned QVRMixer::ChGetPos(unsigned int channel) const {
  if (!Usable(channel)) return kNone;
  Lock();
  const QVRMixChannel& c = m_table[channel];
  unsigned pos = kNone;
  if (c.state != 0) {
    if (c.music) {
      pos = c.music->GetPosition();
    } else if (c.sound) {
      const unsigned frame = QVRMixerAccess::s_frameBytes;
      const uint32_t size = c.sound->GetSize() - c.sound->GetSize() % frame;
      pos = (size - c.left) / m_spec.channels;
      if ((m_spec.format & 0xFF) == 16) pos /= 2;
    }
  }
  Unlock();
  return pos;
}

bool QVRMixer::ChSeek(unsigned int channel, unsigned int position) {
  if (!Usable(channel)) return false;
  Lock();
  QVRMixChannel& c = m_table[channel];
  const bool busy = c.state != 0;
  if (busy && c.music) {
    c.music->SetPosition(position);
    c.cursor = c.music->NextData();
    const unsigned frame = QVRMixerAccess::s_frameBytes;
    c.left = c.cursor ? c.music->GetSize() - c.music->GetSize() % frame : 0;
  } else if (busy && c.sound) {
    const unsigned frame = QVRMixerAccess::s_frameBytes;
    const uint32_t size = c.sound->GetSize() - c.sound->GetSize() % frame;
    uint64_t offset =
        static_cast<uint64_t>(position) * m_spec.channels * ((m_spec.format & 0xFF) == 16 ? 2 : 1);
    if (offset > size) offset = size;
    c.cursor = c.sound->GetData() + offset;
    c.left = size - static_cast<uint32_t>(offset);
  }
  Unlock();
  return busy;
}

int QVRMixer::ChState(unsigned int channel, int* volume, int* loop, int* pan) const {
  if (!Usable(channel)) return 0;
  Lock();
  const QVRMixChannel& c = m_table[channel];
  const int state = c.state;
  if (state != 0) {
    if (volume) *volume = c.volume;
    if (loop) *loop = c.loop;
    if (pan) *pan = c.pan;
  }
  Unlock();
  return state;
}

void QVRMixer::ChPause(unsigned int channel, bool pause) {
  if (!Usable(channel)) return;
  Lock();
  QVRMixChannel& c = m_table[channel];
  if (c.state != 0) {
    c.state = pause ? 2 : 1;
    if (!pause) {
      if (channel < Load(m_first)) Store(m_first, channel);
      if (channel > Load(m_last)) Store(m_last, channel);
    }
  }
  Unlock();
}

void QVRMixer::ChStop(unsigned int channel) {
  if (!Usable(channel)) return;
  Lock();
  QVRMixerAccess::FreeChannel(channel);
  Unlock();
}

unsigned char QVRMixer::ChVolume(unsigned int channel, unsigned char volume) {
  if (!Usable(channel)) return 0;
  Lock();
  QVRMixChannel& c = m_table[channel];
  unsigned char previous = 0;
  if (c.state != 0) {
    previous = c.volume;
    c.volume = volume > 128 ? 128 : volume;
    ComputeVolumes(channel);
  }
  Unlock();
  return previous;
}

int QVRMixer::ChPan(unsigned int channel, int pan) {
  if (!Usable(channel)) return 0;
  if (m_spec.channels != 2) return 127;
  Lock();
  QVRMixChannel& c = m_table[channel];
  int previous = 0;
  if (c.state != 0) {
    previous = c.pan;
    if (pan != 127) pan = pan < -100 ? -100 : (pan > 100 ? 100 : pan);
    c.pan = static_cast<int8_t>(pan);
    ComputeVolumes(channel);
  }
  Unlock();
  return previous;
}

unsigned char QVRMixer::ChLoop(unsigned int channel, unsigned char loop) {
  if (!Usable(channel)) return 0;
  Lock();
  QVRMixChannel& c = m_table[channel];
  unsigned char previous = 0;
  if (c.state != 0) {
    previous = c.loop;
    c.loop = loop;
  }
  Unlock();
  return previous;
}

void QVRMixer::ComputeVolumes(unsigned int channel) {
  if (!Usable(channel)) return;
  QVRMixChannel& c = m_table[channel];
  if (m_spec.channels != 2 || c.pan == 127) {
    c.volLeft = c.volRight = c.volume;
  } else if (c.pan == 0) {
    c.volLeft = c.volRight = static_cast<uint8_t>(c.volume / 2);
  } else {
    // k is the float nearest 0.005, a little below it, so a product that
    // would be whole truncates one lower (pan -100 at volume 128 gives 127).
    // The products need 39 bits, so a double holds them exactly.
    const double k = static_cast<double>(0.005f);
    c.volLeft = static_cast<uint8_t>(
        static_cast<int>(static_cast<double>((100 - c.pan) * static_cast<int>(c.volume)) * k));
    c.volRight = static_cast<uint8_t>(
        static_cast<int>(static_cast<double>((100 + c.pan) * static_cast<int>(c.volume)) * k));
  }
}

bool QVRMixer::SameFormat(QVRSound* sound) const {
  if (!sound) return false;
  return sound->GetFreq() / 100 == m_spec.freq / 100 && sound->GetFormat() == m_spec.format &&
         sound->GetChannels() == m_spec.channels;
}

bool QVRMixer::SameFormat(QVRMusic* music) const {
  if (!music) return false;
  return music->GetOutFreq() / 100 == m_spec.freq / 100 && music->GetOutFormat() == m_spec.format &&
         music->GetOutChannels() == m_spec.channels;
}

void QVRMixer::PrintInfo() const {
  if (m_status == 0) {
    QVR::LOG("Mixer not initialized\n");
    return;
  }
  QVR::LOG("Mixer: %s, %d Hz, %s\nChannels (active/total): %d/%d\n", OutputName(m_spec.format),
           m_spec.freq, m_spec.channels == 2 ? "stereo" : "mono",
           static_cast<int>(Load(m_nbActive)), static_cast<int>(m_nbChannels));
  Lock();
  QVR::LOG("Mixer: state=%s, next=%d, first=%d, last=%d\n", m_status == 2 ? "paused" : "playing",
           static_cast<int>(m_next), static_cast<int>(Load(m_first)),
           static_cast<int>(Load(m_last)));
  for (unsigned ch = 0; ch < m_nbChannels; ++ch) {
    const QVRMixChannel& c = m_table[ch];
    if (c.state == 0) continue;
    QVR::LOG("Channel %d: %d bytes left, volume (%d,%dL,%dR), loop=%d, pan=%d\n",
             static_cast<int>(ch), static_cast<int>(c.left), static_cast<int>(c.volume),
             static_cast<int>(c.volLeft), static_cast<int>(c.volRight), static_cast<int>(c.loop),
             static_cast<int>(c.pan));
  }
  Unlock();
}
