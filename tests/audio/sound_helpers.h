// Helpers of the sound tests: byte builders for WAV, AIFF and AU files, a
// memory stream over a byte string, and a capture of the log's output.
#ifndef QVR_TESTS_AUDIO_SOUND_HELPERS_H
#define QVR_TESTS_AUDIO_SOUND_HELPERS_H

#include <cstdint>
#include <string>
#include <vector>

#include "common/log_capture.h"
#include "common/tmpdir.h"
#include "qvr3d/core.h"
#include "qvr3d/sound.h"
#include "qvr3d/stream.h"

namespace soundtest {

inline void Le16(std::string& s, unsigned v) {
  s += char(v & 0xFF);
  s += char((v >> 8) & 0xFF);
}
inline void Le32(std::string& s, uint32_t v) {
  Le16(s, v & 0xFFFF);
  Le16(s, v >> 16);
}
inline void Be16(std::string& s, unsigned v) {
  s += char((v >> 8) & 0xFF);
  s += char(v & 0xFF);
}
inline void Be32(std::string& s, uint32_t v) {
  Be16(s, v >> 16);
  Be16(s, v & 0xFFFF);
}

/// One RIFF chunk: id, little-endian length (or `length` when given), body.
inline std::string Chunk(const std::string& id, const std::string& body, int64_t length = -1) {
  std::string s = id;
  Le32(s, length < 0 ? uint32_t(body.size()) : uint32_t(length));
  return s + body;
}

/// A PCM or ADPCM "fmt " body of the 16 common bytes.
inline std::string FmtBody(unsigned tag, unsigned channels, uint32_t rate, unsigned blockAlign,
                           unsigned bits) {
  std::string s;
  Le16(s, tag);
  Le16(s, channels);
  Le32(s, rate);
  Le32(s, rate * blockAlign);
  Le16(s, blockAlign);
  Le16(s, bits);
  return s;
}

/// "RIFF" size "WAVE" followed by the given chunks.
inline std::string Riff(const std::string& chunks) {
  std::string s = "RIFF";
  Le32(s, uint32_t(chunks.size() + 4));
  return s + "WAVE" + chunks;
}

/// A PCM WAV file.
inline std::string PcmWav(unsigned channels, uint32_t rate, unsigned bits,
                          const std::string& data) {
  return Riff(Chunk("fmt ", FmtBody(1, channels, rate, channels * bits / 8, bits)) +
              Chunk("data", data));
}

/// The 10-byte extended form of a whole rate.
inline std::string Extended(uint32_t rate) {
  std::string s(10, '\0');
  int exponent = 31;
  while (exponent > 0 && !(rate & (1u << exponent))) --exponent;
  unsigned e = 16383 + unsigned(exponent);
  uint64_t mantissa = uint64_t(rate) << (63 - exponent);
  s[0] = char(e >> 8);
  s[1] = char(e & 0xFF);
  for (int i = 0; i < 8; ++i) s[2 + i] = char((mantissa >> (56 - 8 * i)) & 0xFF);
  return s;
}

inline std::string AiffChunk(const std::string& id, const std::string& body, int64_t length = -1) {
  std::string s = id;
  Be32(s, length < 0 ? uint32_t(body.size()) : uint32_t(length));
  s += body;
  if (body.size() & 1) s += '\0';
  return s;
}

inline std::string CommBody(unsigned channels, uint32_t frames, unsigned bits,
                            const std::string& rate) {
  std::string s;
  Be16(s, channels);
  Be32(s, frames);
  Be16(s, bits);
  return s + rate;
}

inline std::string SsndBody(uint32_t offset, const std::string& data) {
  std::string s;
  Be32(s, offset);
  Be32(s, 0);
  return s + std::string(offset, '\0') + data;
}

inline std::string Aiff(const std::string& chunks) {
  std::string s = "FORM";
  Be32(s, uint32_t(chunks.size() + 4));
  return s + "AIFF" + chunks;
}

inline std::string Au(uint32_t offset, uint32_t size, uint32_t encoding, uint32_t rate,
                      uint32_t channels, const std::string& data) {
  std::string s = ".snd";
  Be32(s, offset);
  Be32(s, size);
  Be32(s, encoding);
  Be32(s, rate);
  Be32(s, channels);
  if (offset > 24) s += std::string(offset - 24, '\0');
  return s + data;
}

/// A read-only memory stream over a copy of `bytes`.
class MemStream {
 public:
  explicit MemStream(const std::string& bytes, const char* name = "test.snd")
      : m_bytes(bytes.begin(), bytes.end()) {
    if (m_bytes.empty()) m_bytes.push_back(0);
    m_file.Open(unsigned(bytes.empty() ? 1 : bytes.size()), QVRResFile::READ, m_bytes.data(), false,
                name);
  }
  QVRMemFile& operator*() { return m_file; }

 private:
  std::vector<unsigned char> m_bytes;
  QVRMemFile m_file;
};

/// Loads `bytes` with type `type`; returns Load's result.
inline bool LoadBytes(QVRSound& sound, const std::string& bytes, int type = 0) {
  MemStream stream(bytes);
  return sound.Load(*stream, type);
}

using qvrtest::LogCapture;

/// The sound's bytes as a string.
inline std::string Bytes(const QVRSound& sound) {
  return sound.GetData()
             ? std::string(reinterpret_cast<const char*>(sound.GetData()), sound.GetSize())
             : std::string();
}

}  // namespace soundtest

#endif
