// Helpers of the mixer tests: a plain per-sample reference mixer that follows
// the mixing rule literally (no blocks, no vectors), sounds made from bytes,
// and a fixture that starts SDL's audio with a chosen driver.
#ifndef QVR_TESTS_AUDIO_MIXER_HELPERS_H
#define QVR_TESTS_AUDIO_MIXER_HELPERS_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "qvr3d/mixer.h"
#include "qvr3d/music.h"
#include "qvr3d/sound.h"

namespace mixtest {

/// A sound whose bytes and format are set directly.
class RawSound : public QVRSound {
 public:
  RawSound(const std::string& bytes, int format, int freq, int channels) {
    m_format = format;
    m_freq = freq;
    m_channels = channels;
    m_size = uint32_t(bytes.size());
    m_data = static_cast<uint8_t*>(std::malloc(bytes.empty() ? 1 : bytes.size()));
    if (!bytes.empty()) std::memcpy(m_data, bytes.data(), bytes.size());
    if (bytes.empty()) {
      std::free(m_data);
      m_data = nullptr;
    }
  }
};

inline unsigned Bytes(int format) { return (unsigned(format) & 0xFF) / 8; }

/// Writes the format's silence (0x8000 for the unsigned 16-bit formats).
inline void Silence(int format, uint8_t* out, size_t len) {
  for (size_t i = 0; i < len; ++i) {
    if (format == QVR_AUDIO_U8)
      out[i] = 0x80;
    else if (format == QVR_AUDIO_U16LSB)
      out[i] = (i & 1) ? 0x80 : 0x00;
    else if (format == QVR_AUDIO_U16MSB)
      out[i] = (i & 1) ? 0x00 : 0x80;
    else
      out[i] = 0;
  }
}

/// The mixer's rule, one output sample at a time over every channel.
class RefMixer {
 public:
  struct Channel {
    QVRSound* sound = nullptr;
    QVRMusic* music = nullptr;
    const uint8_t* cursor = nullptr;
    uint32_t left = 0;
    int volume = 0, volLeft = 0, volRight = 0, loop = 0, state = 0, pan = 0;
  };

  RefMixer(int format, int channels, unsigned count)
      : m_format(format), m_channels(channels), m_table(count), m_first(count) {}

  unsigned Frame() const { return Bytes(m_format) * unsigned(m_channels); }
  uint32_t Whole(uint32_t size) const { return size - size % Frame(); }

  unsigned Play(QVRSound* sound, unsigned ch, int volume, int loop, int pan) {
    if (!sound->GetData() || Whole(sound->GetSize()) == 0) return 0xFFFFFFFF;
    if (ch == 0xFFFFFFFF) ch = m_next;
    if (ch >= m_table.size()) return 0xFFFFFFFF;
    Channel& c = m_table[ch];
    c.sound = sound;
    c.music = nullptr;
    c.cursor = sound->GetData();
    c.left = Whole(sound->GetSize());
    return Place(ch, volume, loop, pan);
  }
  unsigned PlayMusic(QVRMusic* music, unsigned ch, int volume, int loop, int pan) {
    if (ch == 0xFFFFFFFF) ch = m_next;
    if (ch >= m_table.size()) return 0xFFFFFFFF;
    music->SetPosition(0);
    const uint8_t* chunk = music->NextData();
    if (!chunk || Whole(music->GetSize()) == 0) return 0xFFFFFFFF;
    Channel& c = m_table[ch];
    c.sound = nullptr;
    c.music = music;
    c.cursor = chunk;
    c.left = Whole(music->GetSize());
    return Place(ch, volume, loop, pan);
  }
  void Seek(unsigned ch, unsigned pos) {
    Channel& c = m_table[ch];
    if (c.state == 0) return;
    if (c.music) {
      c.music->SetPosition(pos);
      c.cursor = c.music->NextData();
      c.left = c.cursor ? Whole(c.music->GetSize()) : 0;
      return;
    }
    uint64_t offset = uint64_t(pos) * Frame();
    const uint32_t size = Whole(c.sound->GetSize());
    if (offset > size) offset = size;
    c.cursor = c.sound->GetData() + offset;
    c.left = size - uint32_t(offset);
  }
  void Pause(unsigned ch, bool pause) {
    Channel& c = m_table[ch];
    if (c.state == 0) return;
    c.state = pause ? 2 : 1;
    if (!pause) {
      if (ch < m_first) m_first = ch;
      if (ch > m_last) m_last = ch;
    }
  }
  void Loop(unsigned ch, int loop) {
    if (m_table[ch].state) m_table[ch].loop = loop;
  }
  void Volume(unsigned ch, int volume) {
    Channel& c = m_table[ch];
    if (!c.state) return;
    c.volume = volume > 128 ? 128 : volume;
    Volumes(c);
  }
  void Pan(unsigned ch, int pan) {
    Channel& c = m_table[ch];
    if (!c.state || m_channels != 2) return;
    c.pan = pan == 127 ? 127 : (pan < -100 ? -100 : (pan > 100 ? 100 : pan));
    Volumes(c);
  }
  void Free(unsigned ch) {
    Channel& c = m_table[ch];
    if (c.state == 0) return;
    c.state = 0;
    c.sound = nullptr;
    c.music = nullptr;
    --m_active;
    if (ch < m_next) m_next = ch;
    if (ch == m_first)
      while (m_first < m_table.size() && m_table[m_first].state != 1) ++m_first;
    if (ch == m_last)
      while (m_last > 0 && m_table[m_last].state != 1) --m_last;
  }
  unsigned Pos(unsigned ch) const {
    const Channel& c = m_table[ch];
    if (c.state == 0) return 0xFFFFFFFF;
    if (c.music) return c.music->GetPosition();
    return (Whole(c.sound->GetSize()) - c.left) / Frame();
  }

  void Mix(uint8_t* out, size_t len) {
    const unsigned bytes = Bytes(m_format);
    if (m_active == 0 || m_last < m_first) {
      if ((m_format & 0xFF) == 16 && !(m_format & 0x8000)) Silence(m_format, out, len);
      return;
    }
    bool right = false;
    size_t pos = 0;
    for (; pos + bytes <= len && m_active > 0; pos += bytes, right = !right) {
      int sum = 0;
      for (unsigned ch = m_first; ch <= m_last && ch < m_table.size(); ++ch) {
        Channel& c = m_table[ch];
        if (c.state != 1) continue;
        if (c.left == 0) {
          End(ch);
          if (c.state != 1) continue;
        }
        sum += Read(c.cursor) * (right ? c.volRight : c.volLeft) / 128;
        c.cursor += bytes;
        c.left -= bytes;
        if (c.left == 0) End(ch);
      }
      Write(out + pos, sum);
    }
    Silence(m_format, out + pos, len - pos);
  }

  const Channel& At(unsigned ch) const { return m_table[ch]; }
  unsigned Active() const { return m_active; }

 private:
  unsigned Place(unsigned ch, int volume, int loop, int pan) {
    Channel& c = m_table[ch];
    const bool wasFree = c.state == 0;
    c.state = loop == 0 ? 2 : 1;
    c.loop = loop == 0 ? 1 : loop;
    c.volume = volume > 128 ? 128 : volume;
    c.pan =
        m_channels != 2 ? 127 : (pan == 127 ? 127 : (pan < -100 ? -100 : (pan > 100 ? 100 : pan)));
    Volumes(c);
    if (wasFree) ++m_active;
    if (m_next == ch)
      while (m_next < m_table.size() && m_table[m_next].state != 0) ++m_next;
    if (c.state == 1) {
      if (ch < m_first) m_first = ch;
      if (ch > m_last) m_last = ch;
    } else {
      if (ch == m_first)
        while (m_first < m_table.size() && m_table[m_first].state != 1) ++m_first;
      if (ch == m_last)
        while (m_last > 0 && m_table[m_last].state != 1) --m_last;
    }
    return ch;
  }
  void Volumes(Channel& c) const {
    if (m_channels != 2 || c.pan == 127) {
      c.volLeft = c.volRight = c.volume;
    } else if (c.pan == 0) {
      c.volLeft = c.volRight = c.volume / 2;
    } else {
      const long double k = 0.005f;
      c.volLeft = int((long double)((100 - c.pan) * c.volume) * k);
      c.volRight = int((long double)((100 + c.pan) * c.volume) * k);
    }
  }
  // A loop count of 0 ends the channel like 1 does.
  void End(unsigned ch) {
    Channel& c = m_table[ch];
    if (c.music) {
      c.cursor = c.music->NextData();
      if (!c.cursor) {
        if (c.loop != 255 && c.loop > 0) --c.loop;
        if (c.loop == 0) return Free(ch);
        c.cursor = c.music->NextData();
      }
      c.left = c.cursor ? Whole(c.music->GetSize()) : 0;
      if (c.left == 0) Free(ch);
      return;
    }
    if (c.loop != 255 && c.loop > 0) --c.loop;
    if (c.loop == 0) return Free(ch);
    c.cursor = c.sound->GetData();
    c.left = Whole(c.sound->GetSize());
  }
  int Read(const uint8_t* p) const {
    switch (m_format) {
      case QVR_AUDIO_U8:
        return int(p[0]) - 128;
      case QVR_AUDIO_S8:
        return int(int8_t(p[0]));
      case QVR_AUDIO_U16LSB:
        return int(p[0] | p[1] << 8) - 32768;
      case QVR_AUDIO_S16LSB:
        return int(int16_t(uint16_t(p[0] | p[1] << 8)));
      case QVR_AUDIO_U16MSB:
        return int(p[1] | p[0] << 8) - 32768;
      default:
        return int(int16_t(uint16_t(p[1] | p[0] << 8)));
    }
  }
  void Write(uint8_t* p, int sum) const {
    auto clip = [](int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); };
    switch (m_format) {
      case QVR_AUDIO_U8:
        p[0] = uint8_t(clip(sum + 128, 0, 255));
        break;
      case QVR_AUDIO_S8:
        p[0] = uint8_t(clip(sum, -128, 127));
        break;
      case QVR_AUDIO_U16LSB:
      case QVR_AUDIO_S16LSB: {
        const int v =
            m_format == QVR_AUDIO_U16LSB ? clip(sum + 32768, 0, 65535) : clip(sum, -32768, 32767);
        p[0] = uint8_t(v);
        p[1] = uint8_t(unsigned(v) >> 8);
        break;
      }
      default: {
        const int v =
            m_format == QVR_AUDIO_U16MSB ? clip(sum + 32768, 0, 65535) : clip(sum, -32768, 32767);
        p[1] = uint8_t(v);
        p[0] = uint8_t(unsigned(v) >> 8);
      }
    }
  }

  int m_format;
  int m_channels;
  std::vector<Channel> m_table;
  unsigned m_next = 0, m_active = 0, m_first, m_last = 0;
};

/// Starts SDL's audio with `driver` for the life of the object.
class AudioDriver {
 public:
  explicit AudioDriver(const char* driver) { setenv("SDL_AUDIODRIVER", driver, 1); }
};

}  // namespace mixtest

#endif
