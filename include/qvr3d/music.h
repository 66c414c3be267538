// QVRMusic: a long PCM file (WAV, AIFF, AU) streamed chunk by chunk while a
// mixer channel plays it, each chunk converted to the output format.
#ifndef QVR3D_MUSIC_H
#define QVR3D_MUSIC_H

#include <cstdint>

#include "qvr3d/export.h"
#include "qvr3d/resource.h"
#include "qvr3d/sound.h"  // the sample format codes

class QVRResFile;

/// Streamed music. Load reads only the header and keeps the stream; while a
/// mixer channel plays the music, NextData reads up to 8192 bytes of file
/// data at a time and converts them to the output format in a buffer sized
/// when that format is set, so that nothing is allocated while mixing. At the
/// end of the data the music rewinds itself.
///
///   QVRFile file("theme.wav", QVRResFile::READ);
///   QVRMusic theme;
///   if (theme.Load(file, 0)) { theme.SetMixerFormat(); mixer->PlayMusic(&theme, 0, 128, 255, 127);
///   }
class QVR_API QVRMusic : public QVRResource {
 public:
  enum Type : int { MUS_AUTO = 0, MUS_WAV = 1, MUS_AIFF = 2, MUS_AU = 3 };
  /// Bytes of file data per chunk.
  static constexpr uint32_t kChunkBytes = 8192;
  /// Largest converted chunk accepted; a conversion needing more is refused.
  static constexpr uint32_t kMaxChunkBytes = 1u << 20;
  /// File data read from the stream at a time: four chunks, so that a
  /// buffered stream needs fewer system calls than chunks.
  static constexpr uint32_t kAheadBytes = 4 * kChunkBytes;

  /// Empty music (the name form ignores its argument: music needs an open
  /// stream, see Load).
  QVRMusic();
  explicit QVRMusic(const char* name);
  QVRMusic(const QVRMusic&) = delete;
  QVRMusic& operator=(const QVRMusic&) = delete;
  /// Frees the buffers; deletes the stream only when it is owned.
  ~QVRMusic() override;

  /// Frees the chunk, detaches the stream (deleting it when owned) and zeroes
  /// every field except the output format.
  void Clear();

  /// Reads the header of the WAV (PCM), AIFF or AU file in `stream` (type 0
  /// detects it from "RIFF", "FORM", ".snd") and keeps the stream, which
  /// stays the caller's and must stay open while the music is loaded. When
  /// no output format was set, the file's becomes it. False, with the music
  /// empty, on a bad stream or header (logged at WARN level: "Sound: ...").
  bool Load(QVRResFile& stream, int type) override;
  /// As Load, but the music owns `stream` from now on, whatever the result:
  /// it is deleted by Clear, the next Load and the destructor.
  bool LoadOwned(QVRResFile* stream, int type);
  /// One header reader alone (no clearing before, no bookkeeping after).
  bool LoadWAV(QVRResFile& stream);
  bool LoadAIFF(QVRResFile& stream);
  bool LoadAU(QVRResFile& stream);
  /// Always false: Ogg data are not read.
  bool LoadOGG(QVRResFile& stream);
  /// Always false: music needs a stream that stays open.
  bool LoadName(const char* file, int param) override;
  /// Always false: no format is written.
  bool Save(QVRResFile& stream, int type) override;

  /// Bytes of the current chunk plus the size of the object.
  unsigned MemoryUsed() const override;
  /// Takes the mixer's output format when the mixer is initialised.
  void SetMixerFormat();
  /// Sets the output format, rate and channels of the chunks. A conversion
  /// whose chunks would pass kMaxChunkBytes (a file rate far below the
  /// output rate) is refused with a warning, and the music then yields no
  /// data.
  void ChangeFormat(int format, int freq, int channels);

  /// The next converted chunk (GetSize() bytes), or null at the end of the
  /// data, which rewinds the music, or when the conversion was refused.
  const unsigned char* NextData();
  /// Position in file frames of the data read so far; 0 when empty.
  unsigned GetPosition() const;
  /// Moves to file frame `frame` (held to the end); the next NextData reads
  /// from there.
  void SetPosition(unsigned int frame);
  /// Logs the file's format and the stream's state at LOG level.
  void PrintInfo() const;

  // The conversions of the current chunk, as QVRSound's, with `format` the
  // working format code; m_size follows.
  void ConvEndian(int& format);
  void ConvSign(int& format);
  void Conv8to16L(int& format);
  void Conv8to16B(int& format);
  void Conv16to8(int& format);
  void ConvMUL2(int format);
  void ConvDIV2(int format);
  void ConvMono(int format);

  /// The file's format code (16-bit data are AUDIO_S16LSB), rate, channels.
  int GetFormat() const { return m_format; }
  int GetFreq() const { return m_freq; }
  int GetChannels() const { return m_channels; }
  /// The output format of the chunks.
  int GetOutFormat() const { return m_outFormat; }
  int GetOutFreq() const { return m_outFreq; }
  int GetOutChannels() const { return m_outChannels; }
  /// Bytes in the current chunk; 0 when none.
  uint32_t GetSize() const { return m_size; }
  /// Bytes of sample data in the file, and of them read so far.
  uint32_t GetDataSize() const { return m_dataSize; }
  uint32_t GetPos() const { return m_pos; }
  /// 0 none, 1 WAV, 2 AIFF, 3 AU.
  int GetType() const { return m_type; }
  /// The stream, or null.
  QVRResFile* GetFile() const { return m_file; }

 protected:
  int m_format;
  int m_freq;
  int m_channels;
  unsigned char* m_data;
  uint32_t m_size;
  uint32_t m_pos;
  uint32_t m_dataSize;
  QVRResFile* m_file;
  uint32_t m_dataStart;
  int m_type;
  int m_outFormat;
  int m_outFreq;
  int m_outChannels;

 private:
  // Sizes the two chunk buffers for the current file and output formats.
  QVR_LOCAL void Prepare();
  QVR_LOCAL bool LoadFrom(QVRResFile& stream, int type);
  QVR_LOCAL bool Finish(QVRResFile& stream, int type, bool ok);
  QVR_LOCAL void Swap();
  QVR_LOCAL const unsigned char* Rewind();
  QVR_LOCAL unsigned char* Other();
  unsigned char* m_buffers[2];  // a conversion's steps go back and forth between them
  uint32_t m_capacity;          // bytes of each buffer
  unsigned char* m_ahead;       // file data read ahead, kAheadBytes
  uint32_t m_aheadStart;        // unused bytes of m_ahead: [m_aheadStart, m_aheadEnd)
  uint32_t m_aheadEnd;
  bool m_refused;  // the conversion needs chunks too large
  bool m_ownsFile;
  int m_workChannels;  // channels of the current chunk while it is converted
};

#endif
