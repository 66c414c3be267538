// QVRSound: a sound sample held whole in memory as 8- or 16-bit PCM, read
// from WAV (PCM, MS ADPCM, IMA ADPCM), AIFF and Sun AU files, with in-place
// conversions of sample format, rate and channel count.
#ifndef QVR3D_SOUND_H
#define QVR3D_SOUND_H

#include <cstdint>

#include "qvr3d/export.h"
#include "qvr3d/resource.h"

class QVRResFile;

namespace qvr::detail {
struct SoundData;
}  // namespace qvr::detail

// Sample format codes: SDL's audio format word (the same values as SDL's
// AUDIO_U8 ... AUDIO_S16MSB). The low byte is the number of bits per sample,
// 0x1000 marks big-endian 16-bit samples and 0x8000 signed samples; 0 means
// that no sound is loaded.
enum : int {
  QVR_AUDIO_U8 = 0x0008,
  QVR_AUDIO_S8 = 0x8008,
  QVR_AUDIO_U16LSB = 0x0010,
  QVR_AUDIO_S16LSB = 0x8010,
  QVR_AUDIO_U16MSB = 0x1010,
  QVR_AUDIO_S16MSB = 0x9010,
};

/// A sound sample: raw interleaved PCM frames (left first) with their format
/// code, rate and channel count (1 or 2). After a successful load the data
/// are AUDIO_U8 (8-bit WAV), AUDIO_S8 (8-bit AIFF and AU) or AUDIO_S16LSB
/// (every 16-bit and ADPCM source), and GetSize() is a whole number of frames.
///
///   QVRSound boom;
///   if (boom.LoadName("boom.wav", QVRSound::SND_AUTO))
///     boom.ChangeFormat(QVR_AUDIO_S16LSB, 44100, 2);
class QVR_API QVRSound : public QVRResource {
 public:
  /// File types of Load.
  enum Type : int { SND_AUTO = 0, SND_WAV = 1, SND_AIFF = 2, SND_AU = 3 };

  /// An empty sound: no data, all fields 0.
  QVRSound();
  /// An empty sound, then LoadName(name, SND_AUTO).
  explicit QVRSound(const char* name);
  QVRSound(const QVRSound&) = delete;
  QVRSound& operator=(const QVRSound&) = delete;
  /// Frees the data.
  ~QVRSound() override;

  /// Frees the data and sets every field to 0.
  void Clear();

  /// Replaces the sound by the file in `stream`: type SND_AUTO detects it from
  /// the first four bytes ("RIFF", "FORM", ".snd", rewinding the stream),
  /// SND_WAV, SND_AIFF and SND_AU read that format from the current position.
  /// Returns false, with the sound empty, when the stream is not good, the
  /// type is unknown or the reader fails (readers log at WARN level: "Sound:
  /// ..." with the stream's name).
  bool Load(QVRResFile& stream, int type) override;
  /// The WAV reader alone. On success the previous data are replaced; on
  /// failure (logged at WARN level) the sound is left as it was.
  bool LoadWAV(QVRResFile& stream);
  /// The AIFF reader alone, as LoadWAV.
  bool LoadAIFF(QVRResFile& stream);
  /// The AU reader alone, as LoadWAV.
  bool LoadAU(QVRResFile& stream);
  /// Always false: Ogg data are not read.
  bool LoadOGG(QVRResFile& stream);
  /// Always false: no sound format is written.
  bool Save(QVRResFile& stream, int type) override;

  /// GetSize() plus the size of the object.
  unsigned MemoryUsed() const override;
  /// Logs "Sound format : <rate> Hz, <format name> (<code>), Mono|Stereo,
  /// <size> bytes" at LOG level.
  void PrintInfo() const;

  /// Converts the sound to the mixer's current output format. Provided
  /// together with QVRMixer, which owns that format.
  void SetMixerFormat();
  /// Converts towards `format`, `freq` Hz and `channels`, reducing steps
  /// first: to mono, rate halved while above `freq`, byte order, sign, bits
  /// per sample, rate doubled while below `freq`, to stereo. Rates are only
  /// halved or doubled and count as equal within the same hundred. Nothing
  /// happens to an empty sound.
  void ChangeFormat(int format, int freq, int channels);

  // Conversions. Each does nothing when the sound is empty or not in a format
  // it applies to. Those that grow or shrink the data make a new buffer; if
  // it cannot be had (or its size passes 4 GiB) the sound is left unchanged
  // and a warning is logged.

  /// Byte-swaps every 16-bit sample and flips 0x1000 of the format code.
  void ConvEndian();
  /// Flips the sign convention (the high byte of each sample XOR 0x80) and
  /// 0x8000 of the format code.
  void ConvSign();
  /// 8 to 16 bits little-endian: each byte b becomes b * 256.
  void Conv8to16L();
  /// 8 to 16 bits big-endian: each byte b becomes b * 256.
  void Conv8to16B();
  /// 16 to 8 bits, keeping the high byte of each sample.
  void Conv16to8();
  /// Doubles the rate by writing every frame twice.
  void ConvFreqMUL2();
  /// Halves the rate by keeping frames 0, 2, 4, ...
  void ConvFreqDIV2();
  /// Stereo to mono: the sum of left and right, clipped to the sample range.
  void ConvMono();
  /// Mono to stereo: every sample written to both channels.
  void ConvStereo();

  /// Sample format code (QVR_AUDIO_...); 0 when empty.
  int GetFormat() const { return m_format; }
  /// Sample rate in Hz.
  int GetFreq() const { return m_freq; }
  /// 1 or 2; 0 when empty.
  int GetChannels() const { return m_channels; }
  /// The sample data, null when empty.
  const uint8_t* GetData() const { return m_data; }
  uint8_t* GetData() { return m_data; }
  /// Number of bytes in GetData().
  uint32_t GetSize() const { return m_size; }
  /// Bytes per frame: bytes per sample times channels.
  unsigned GetFrameSize() const {
    return ((m_format & 0xFF) / 8u) * static_cast<unsigned>(m_channels);
  }

  /// The name of a format code as PrintInfo writes it ("16 bits signed LSB",
  /// ...), "unknown" for any other value.
  static const char* FormatName(int format);

 protected:
  int m_format;
  int m_freq;
  int m_channels;
  uint8_t* m_data;
  uint32_t m_size;

 private:
  // Takes over a reader's result, freeing the previous data.
  QVR_LOCAL void Adopt(qvr::detail::SoundData& sound);
  // Replaces the data by the owned block `data` of `size` bytes.
  void ReplaceData(uint8_t* data, uint32_t size);
};

#endif
