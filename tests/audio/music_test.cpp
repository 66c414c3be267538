// QVRMusic: files written by sox streamed chunk by chunk and compared with
// sox's own decoding converted by a plain reference, the chunk sizes, header
// refusals, positions, streams inside a PAK archive and owned streams.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/sound_helpers.h"
#include "common/log_capture.h"
#include "common/tmpdir.h"
#include "qvr3d/archive.h"
#include "qvr3d/music.h"
#include "qvr3d/sound.h"
#include "qvr3d/stream.h"

using namespace soundtest;

namespace {

bool Sox(const std::string& command) {
  return std::system(("sox " + command + " 2>/dev/null").c_str()) == 0;
}

// Every chunk of one pass, concatenated; the chunk sizes in `sizes`.
std::string Stream(QVRMusic& music, std::vector<uint32_t>* sizes = nullptr) {
  std::string all;
  for (int guard = 0; guard < 100000; ++guard) {
    const unsigned char* chunk = music.NextData();
    if (!chunk) break;
    if (sizes) sizes->push_back(music.GetSize());
    all.append(reinterpret_cast<const char*>(chunk), music.GetSize());
  }
  return all;
}

// The conversion rule on sample values (signed, in the file's depth): mono
// sum, rate halved by dropping odd frames, depth, rate doubled by repeating
// frames, stereo; then biased and written in the output's byte order.
std::string Reference(std::vector<int> v, int bits, int channels, int rate, int outFormat,
                      int outRate, int outChannels) {
  auto clip = [&](int x) {
    const int hi = bits == 8 ? 127 : 32767;
    return x > hi ? hi : (x < -hi - 1 ? -hi - 1 : x);
  };
  if (channels == 2 && outChannels == 1) {
    std::vector<int> m;
    for (size_t i = 0; i + 1 < v.size(); i += 2) m.push_back(clip(v[i] + v[i + 1]));
    v = m;
    channels = 1;
  }
  while (rate > outRate) {
    std::vector<int> h;
    for (size_t f = 0; f * channels < v.size(); f += 2)
      for (int c = 0; c < channels; ++c) h.push_back(v[f * channels + c]);
    v = h;
    rate /= 2;
  }
  const int outBits = outFormat & 0xFF;
  if (outBits != bits)
    for (int& x : v) x = outBits == 8 ? (x >> 8) : x * 256;
  while (rate < outRate) {
    std::vector<int> d;
    for (size_t f = 0; f * channels < v.size(); ++f)
      for (int rep = 0; rep < 2; ++rep)
        for (int c = 0; c < channels; ++c) d.push_back(v[f * channels + c]);
    v = d;
    rate *= 2;
  }
  if (channels == 1 && outChannels == 2) {
    std::vector<int> s;
    for (int x : v) s.push_back(x), s.push_back(x);
    v = s;
  }
  std::string out;
  for (int x : v) {
    if (outBits == 8) {
      out += char((outFormat & 0x8000) ? x : x + 128);
    } else {
      const unsigned u = (outFormat & 0x8000) ? unsigned(x) & 0xFFFF : unsigned(x + 32768);
      if (outFormat & 0x1000)
        out += char(u >> 8), out += char(u & 0xFF);
      else
        out += char(u & 0xFF), out += char(u >> 8);
    }
  }
  return out;
}

struct SoxMusic {
  const char* name;
  const char* make;  // sox output options
  const char* ext;
  int bits, channels, rate;
};

const SoxMusic kFiles[] = {
    {"wav_u8_mono", "-r 22050 -c 1 -b 8 -e unsigned", "wav", 8, 1, 22050},
    {"wav_s16_stereo", "-r 44100 -c 2 -b 16 -e signed", "wav", 16, 2, 44100},
    {"aiff_s16_mono", "-r 48000 -c 1 -b 16", "aiff", 16, 1, 48000},
    {"aiff_s8_stereo", "-r 8000 -c 2 -b 8", "aiff", 8, 2, 8000},
    {"au_s16_stereo", "-r 16000 -c 2 -b 16 -e signed", "au", 16, 2, 16000},
    {"au_s8_mono", "-r 11025 -c 1 -b 8 -e signed", "au", 8, 1, 11025},
};

struct Output {
  int format, rate, channels;
};
const Output kOutputs[] = {
    {QVR_AUDIO_S16LSB, 44100, 2}, {QVR_AUDIO_U8, 22050, 1},     {QVR_AUDIO_S8, 11025, 2},
    {QVR_AUDIO_U16MSB, 44100, 1}, {QVR_AUDIO_S16MSB, 22000, 2}, {QVR_AUDIO_U16LSB, 16000, 2},
};

TEST(Music, SoxFilesStreamToSoxSamplesInEveryOutputFormat) {
  qvrtest::TempDir dir;
  for (const SoxMusic& f : kFiles) {
    SCOPED_TRACE(f.name);
    const std::string path = dir / (std::string(f.name) + "." + f.ext);
    const std::string raw = dir / "decoded.raw";
    ASSERT_TRUE(Sox("-R -n " + std::string(f.make) + " " + path +
                    " synth 1.0 sine 440 sine 660 synth 1.0 whitenoise amod 3 1"));
    ASSERT_TRUE(Sox(
        path + (f.bits == 8 ? " -t raw -e signed -b 8 " : " -t raw -e signed -b 16 -L ") + raw));
    const std::string decoded = qvrtest::ReadAll(raw);
    std::vector<int> values;
    for (size_t i = 0; i < decoded.size(); i += f.bits / 8)
      values.push_back(
          f.bits == 8 ? int(int8_t(decoded[i]))
                      : int(int16_t(uint16_t(uint8_t(decoded[i]) | uint8_t(decoded[i + 1]) << 8))));
    ASSERT_GT(decoded.size(), 8192u);

    QVRFile file(path.c_str(), QVRResFile::READ);
    QVRMusic music;
    ASSERT_TRUE(music.Load(file, 0));
    EXPECT_EQ(music.GetFreq(), f.rate);
    EXPECT_EQ(music.GetChannels(), f.channels);
    EXPECT_EQ(music.GetFormat(),
              f.bits == 8 ? (f.ext[0] == 'w' ? QVR_AUDIO_U8 : QVR_AUDIO_S8) : QVR_AUDIO_S16LSB);
    EXPECT_EQ(music.GetDataSize(), decoded.size());
    // Never set: the output format is the file's.
    EXPECT_EQ(music.GetOutFormat(), music.GetFormat());
    for (const Output& out : kOutputs) {
      SCOPED_TRACE(std::to_string(out.format) + " " + std::to_string(out.rate) + " " +
                   std::to_string(out.channels));
      music.ChangeFormat(out.format, out.rate, out.channels);
      const std::string expected =
          Reference(values, f.bits, f.channels, f.rate, out.format, out.rate, out.channels);
      // Twice: the end rewinds the music.
      for (int pass = 0; pass < 2; ++pass) ASSERT_TRUE(Stream(music) == expected) << pass;
    }
  }
}

TEST(Music, ChunkSizes) {
  // Pass-through: 8192 bytes each, the last shorter, then null.
  const std::string pcm(3 * 8192 + 100, '\x11');
  MemStream wav(PcmWav(2, 44100, 16, pcm));
  QVRMusic music;
  ASSERT_TRUE(music.Load(*wav, 0));
  music.ChangeFormat(QVR_AUDIO_S16LSB, 44100, 2);
  std::vector<uint32_t> sizes;
  EXPECT_EQ(Stream(music, &sizes), pcm);
  EXPECT_EQ(sizes, (std::vector<uint32_t>{8192, 8192, 8192, 100}));
  EXPECT_EQ(music.GetSize(), 0u);
  EXPECT_EQ(music.GetPos(), 0u);

  // Mono 22050 Hz 8-bit on stereo 44100 Hz 16-bit: 8192 bytes become 65536.
  MemStream u8(PcmWav(1, 22050, 8, std::string(2 * 8192, '\x90')));
  ASSERT_TRUE(music.Load(*u8, 0));
  music.ChangeFormat(QVR_AUDIO_S16LSB, 44100, 2);
  sizes.clear();
  const std::string all = Stream(music, &sizes);
  EXPECT_EQ(sizes, (std::vector<uint32_t>{65536, 65536}));
  EXPECT_EQ(all.substr(0, 4), std::string("\x00\x10\x00\x10", 4));

  // AU 16-bit data arrive little-endian.
  std::string be;
  for (int i = 0; i < 300; ++i) Be16(be, unsigned(i * 97) & 0xFFFF);
  MemStream au(Au(24, uint32_t(be.size()), 3, 8000, 1, be));
  QVRMusic fresh;  // the output format is the file's
  ASSERT_TRUE(fresh.Load(*au, 0));
  std::string le;
  for (int i = 0; i < 300; ++i) Le16(le, unsigned(i * 97) & 0xFFFF);
  EXPECT_EQ(Stream(fresh), le);
}

TEST(Music, PositionsAndRewinding) {
  std::string pcm;
  for (int i = 0; i < 10000; ++i) Le16(pcm, unsigned(i));
  MemStream wav(PcmWav(1, 22050, 16, pcm));
  QVRMusic music;
  EXPECT_EQ(music.GetPosition(), 0u);
  music.SetPosition(5);  // nothing loaded: nothing happens
  ASSERT_TRUE(music.Load(*wav, 0));
  music.SetPosition(0);
  EXPECT_EQ(music.GetPos(), 0u);
  music.SetPosition(1000);
  EXPECT_EQ(music.GetPosition(), 1000u);
  const unsigned char* chunk = music.NextData();
  ASSERT_TRUE(chunk);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(chunk), 8192), pcm.substr(2000, 8192));
  EXPECT_EQ(music.GetPosition(), 1000u + 4096);
  music.SetPosition(5096);  // where it is: the chunk stays
  EXPECT_EQ(music.GetSize(), 8192u);
  // Past the end: held to the data size; the next call rewinds.
  music.SetPosition(99999);
  EXPECT_EQ(music.GetPos(), 20000u);
  EXPECT_EQ(music.NextData(), nullptr);
  EXPECT_EQ(music.GetPos(), 0u);
  chunk = music.NextData();
  ASSERT_TRUE(chunk);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(chunk), 8192), pcm.substr(0, 8192));
  EXPECT_EQ(music.MemoryUsed(), 8192u + unsigned(sizeof(QVRMusic)));
}

TEST(Music, HeaderRefusals) {
  struct Case {
    const char* what;
    std::string bytes;
    const char* message;
  };
  auto fmt = [](unsigned tag, unsigned bits) {
    return Riff(Chunk("fmt ", FmtBody(tag, 1, 22050, 2, bits)) + Chunk("data", "abcd"));
  };
  const Case cases[] = {
      {"ms adpcm", fmt(2, 4), "Sound: MS_ADPCM not supported - test.snd\n"},
      {"ima adpcm", fmt(0x11, 4), "Sound: IMA_ADPCM not supported - test.snd\n"},
      {"other tag", fmt(3, 32), "Sound: Unknown WAV data format - test.snd\n"},
      {"24 bits", fmt(1, 24), "Sound: unknown 24-bits PCM format - test.snd\n"},
      {"no fmt", Riff(Chunk("data", "abcd")), "Sound: internal error\n"},
      {"no data", Riff(Chunk("fmt ", FmtBody(1, 1, 22050, 1, 8))),
       "Sound: no data in file test.snd\n"},
      {"not wave", "RIFF\x04\0\0\0WAVX", "Sound: bad file type (not WAV) (test.snd)\n"},
      {"au mu-law", Au(24, 4, 1, 8000, 1, "abcd"),
       "Sound: AU encoding not supported (1) - test.snd\n"},
      {"au short", ".snd\0\0", "Sound: not a valid AU file test.snd\n"},
      {"aiff 24", Aiff(AiffChunk("COMM", CommBody(1, 2, 24, Extended(8000)))),
       "Sound: sample size not supported - test.snd\n"},
      {"aiff no ssnd", Aiff(AiffChunk("COMM", CommBody(1, 2, 8, Extended(8000)))), ""},
      {"unknown", "OggS0000", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemStream stream(c.bytes);
    QVRMusic music;
    qvrtest::LogCapture log;
    EXPECT_FALSE(music.Load(*stream, 0));
    EXPECT_EQ(log.Text(), c.message);
    EXPECT_EQ(music.GetType(), 0);
    EXPECT_EQ(music.GetFile(), nullptr);
    EXPECT_EQ(music.NextData(), nullptr);
  }
  QVRMusic music;
  MemStream stream(PcmWav(1, 8000, 8, "abcd"));
  EXPECT_FALSE(music.Load(*stream, 7));
  EXPECT_FALSE(music.LoadName("theme.wav", 0));
  EXPECT_FALSE(music.LoadOGG(*stream));
  EXPECT_FALSE(music.Save(*stream, 0));
}

TEST(Music, HeadersHeldToTheStream) {
  QVRMusic music, music2, music3;
  // A data chunk that claims more than the file holds, in 16-bit stereo.
  MemStream wav(
      Riff(Chunk("fmt ", FmtBody(1, 2, 8000, 4, 16)) + Chunk("data", "0123456789", 4000)));
  ASSERT_TRUE(music.Load(*wav, 0));
  EXPECT_EQ(music.GetDataSize(), 8u);
  EXPECT_EQ(Stream(music), "01234567");
  // AU with size 0xFFFFFFFF reads to the end, in whole frames.
  MemStream au(Au(28, 0xFFFFFFFF, 2, 8000, 2, "abcdefg"));
  ASSERT_TRUE(music2.Load(*au, 0));
  EXPECT_EQ(music2.GetDataSize(), 6u);
  EXPECT_EQ(Stream(music2), "abcdef");
  // AIFF: frames x channels x bytes, the data after the SSND offset.
  std::string be;
  for (int i = 0; i < 6; ++i) Be16(be, unsigned(0x0102 * (i + 1)));
  MemStream aiff(Aiff(AiffChunk("COMM", CommBody(2, 3, 16, Extended(44100))) +
                      AiffChunk("SSND", SsndBody(3, be))));
  qvrtest::LogCapture log;
  ASSERT_TRUE(music3.Load(*aiff, 0));
  EXPECT_EQ(log.Text(), "Sound: offset=3, datasize=0, position=57\n");
  EXPECT_EQ(music3.GetFreq(), 44100);
  std::string le;
  for (int i = 0; i < 6; ++i) Le16(le, unsigned(0x0102 * (i + 1)));
  EXPECT_EQ(Stream(music3), le);
}

// A memory stream that hands out at most 777 bytes per read.
class TrickleStream : public QVRMemFile {
 public:
  explicit TrickleStream(const std::string& bytes) : m_bytes(bytes.begin(), bytes.end()) {
    Open(unsigned(m_bytes.size()), READ, m_bytes.data(), false, "trickle");
  }
  unsigned Read(void* data, unsigned count) override {
    return QVRMemFile::Read(data, count < 777 ? count : 777);
  }

 private:
  std::vector<unsigned char> m_bytes;
};

TEST(Music, ShortReadsGiveShorterChunksOfWholeFrames) {
  std::string pcm;
  for (int i = 0; i < 9000; ++i) Le16(pcm, unsigned(i * 31));
  TrickleStream stream(PcmWav(2, 22050, 16, pcm));
  QVRMusic music;
  ASSERT_TRUE(music.Load(stream, 0));
  for (int pass = 0; pass < 2; ++pass) {
    std::vector<uint32_t> sizes;
    EXPECT_TRUE(Stream(music, &sizes) == pcm);
    for (uint32_t size : sizes) EXPECT_EQ(size % 4, 0u);
  }
  music.SetPosition(1001);
  const unsigned char* chunk = music.NextData();
  ASSERT_TRUE(chunk);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(chunk), music.GetSize()),
            pcm.substr(4004, music.GetSize()));
}

TEST(Music, ConversionsPastOneMebibyteAreRefused) {
  MemStream wav(PcmWav(1, 100, 8, std::string(20000, '\x80')));
  QVRMusic music;
  ASSERT_TRUE(music.Load(*wav, 0));
  {
    qvrtest::LogCapture log;
    music.ChangeFormat(QVR_AUDIO_S16LSB, 48000, 2);
    EXPECT_NE(log.Text().find("Sound: music conversion from 100 Hz to 48000 Hz"),
              std::string::npos);
  }
  EXPECT_EQ(music.NextData(), nullptr);
  EXPECT_EQ(music.NextData(), nullptr);
  // Seven doublings (to 12800 Hz) make chunks of exactly 1 MiB, which pass.
  music.ChangeFormat(QVR_AUDIO_U8, 12800, 1);
  const unsigned char* chunk = music.NextData();
  ASSERT_TRUE(chunk);
  EXPECT_EQ(music.GetSize(), 8192u * 128);
}

// A memory stream that counts its deletions.
class CountedStream : public QVRMemFile {
 public:
  CountedStream(const std::string& bytes, int* deleted)
      : m_bytes(bytes.begin(), bytes.end()), m_deleted(deleted) {
    Open(unsigned(m_bytes.size()), READ, m_bytes.data(), false, "counted");
  }
  ~CountedStream() override { ++*m_deleted; }

 private:
  std::vector<unsigned char> m_bytes;
  int* m_deleted;
};

TEST(Music, OwnedStreamsAreDeletedCallersStreamsAreNot) {
  const std::string wav = PcmWav(1, 8000, 8, std::string(100, '\x80'));
  int deleted = 0;
  {
    QVRMusic music;
    ASSERT_TRUE(music.LoadOwned(new CountedStream(wav, &deleted), 0));
    music.Clear();
    EXPECT_EQ(deleted, 1);
    ASSERT_TRUE(music.LoadOwned(new CountedStream(wav, &deleted), 0));
    ASSERT_TRUE(music.LoadOwned(new CountedStream(wav, &deleted), 0));  // a new Load
    EXPECT_EQ(deleted, 2);
    QVRResFile* own = music.GetFile();
    own->SeekStart();
    ASSERT_TRUE(music.Load(*own, 0));  // reloaded from its own stream: kept
    EXPECT_EQ(deleted, 2);
    EXPECT_EQ(Stream(music).size(), 100u);
    EXPECT_FALSE(music.LoadOwned(new CountedStream("junk", &deleted), 0));  // refused: deleted
    EXPECT_EQ(deleted, 4);
    ASSERT_TRUE(music.LoadOwned(new CountedStream(wav, &deleted), 0));
  }
  EXPECT_EQ(deleted, 5);  // the destructor
  CountedStream mine(wav, &deleted);
  {
    QVRMusic music;
    ASSERT_TRUE(music.Load(mine, 0));
    music.Clear();
    mine.SeekStart();
    ASSERT_TRUE(music.Load(mine, 0));
  }
  EXPECT_EQ(deleted, 5);
  EXPECT_TRUE(mine.Good());
}

TEST(Music, StreamsFromInsideAPakArchive) {
  qvrtest::TempDir dir;
  std::string pcm;
  for (int i = 0; i < 12000; ++i) Le16(pcm, unsigned(i * 7));
  const std::string member = PcmWav(2, 22050, 16, pcm);
  const std::string before(333, 'x');
  std::string pak = "PACK";
  Le32(pak, uint32_t(12 + before.size() + member.size()));
  Le32(pak, 64);
  pak += before + member;
  std::string name = "music/theme.wav";
  name.resize(56, '\0');
  pak += name;
  Le32(pak, uint32_t(12 + before.size()));
  Le32(pak, uint32_t(member.size()));
  ASSERT_TRUE(qvrtest::WriteAll(dir / "data.pak", pak));

  QVRArchPAK archive;
  ASSERT_TRUE(archive.Open((dir / "data.pak").c_str()));
  QVRMusic music;
  ASSERT_TRUE(music.LoadOwned(archive.OpenFile("music/theme.wav"), 0));
  EXPECT_EQ(music.GetDataSize(), pcm.size());
  music.ChangeFormat(QVR_AUDIO_S16LSB, 22050, 1);
  std::string mono;
  for (int i = 0; i < 12000; i += 2) {
    const int sum = int(int16_t(uint16_t(i * 7))) + int(int16_t(uint16_t((i + 1) * 7)));
    Le16(mono, unsigned(sum > 32767 ? 32767 : (sum < -32768 ? -32768 : sum)) & 0xFFFF);
  }
  EXPECT_TRUE(Stream(music) == mono);
  music.SetPosition(3000);
  const unsigned char* chunk = music.NextData();
  ASSERT_TRUE(chunk);
  EXPECT_EQ(music.GetSize(), 4096u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(chunk), 4096), mono.substr(6000, 4096));
}

TEST(Music, PrintInfo) {
  MemStream wav(PcmWav(2, 44100, 16, std::string(4000, '\0')), "theme.wav");
  QVRMusic music;
  ASSERT_TRUE(music.Load(*wav, 0));
  music.NextData();
  qvrtest::LogCapture log;
  music.PrintInfo();
  QVRMusic empty;
  empty.PrintInfo();
  EXPECT_EQ(log.Text(),
            "Music stream format : 44100 Hz, 16 bits signed LSB (8010), Stereo, 4000 bytes "
            "(total)\nFile: type: WAV, pos: 4000, size: 4000, start: 44\n"
            "      name: theme.wav\n"
            "Music stream format : 0 Hz, unknown (0), Stereo, 0 bytes (total)\n"
            "File: type: none, pos: 0, size: 0, start: 0\n");
}

}  // namespace
