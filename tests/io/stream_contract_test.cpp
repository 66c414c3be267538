// The contract every stream keeps, run against the disk, memory and window
// streams: state after short reads and failed seeks, the byte-order helpers,
// both GetLine forms, refused writes and the end-of-data rule of each type.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "common/tmpdir.h"
#include "qvr3d/stream.h"
#include "qvr3d/string.h"

using qvrtest::ReadAll;
using qvrtest::TempDir;

namespace {

// Each maker opens a stream holding exactly `bytes` and can read back what the
// stream holds afterwards. `kEofAtLastByte` tells the end-of-data rule: disk
// streams follow the C library (set only by a read past the end), memory and
// window streams set it when the position reaches the end.
struct DiskStream {
  static constexpr bool kEofAtLastByte = false;
  // What a read that starts at the end and an unknown seek origin do, as the
  // stream header documents it.
  static constexpr bool kReadAtEndStaysOK = false;
  static constexpr bool kUnknownOriginFromStart = false;
  static constexpr bool kFixedSize = false;
  std::unique_ptr<QVRResFile> Make(const std::string& bytes, unsigned mode) {
    path = dir / "data.bin";
    qvrtest::WriteAll(path, bytes);
    return std::make_unique<QVRFile>(path.c_str(), mode);
  }
  std::string Contents() { return ReadAll(path); }
  TempDir dir;
  std::string path;
};

struct MemoryStream {
  static constexpr bool kEofAtLastByte = true;
  static constexpr bool kReadAtEndStaysOK = true;
  static constexpr bool kUnknownOriginFromStart = true;
  static constexpr bool kFixedSize = true;
  std::unique_ptr<QVRResFile> Make(const std::string& bytes, unsigned mode) {
    block.assign(bytes.begin(), bytes.end());
    return std::make_unique<QVRMemFile>(static_cast<unsigned>(block.size()), mode,
                                        reinterpret_cast<unsigned char*>(&block[0]), false);
  }
  std::string Contents() { return block; }
  std::string block;
};

// The window sits between guard bytes that must never be read or changed.
struct WindowStream {
  static constexpr bool kEofAtLastByte = true;
  static constexpr bool kReadAtEndStaysOK = true;
  static constexpr bool kUnknownOriginFromStart = true;
  static constexpr bool kFixedSize = true;
  static constexpr size_t kBefore = 7;
  std::unique_ptr<QVRResFile> Make(const std::string& bytes, unsigned mode) {
    path = dir / "pack.bin";
    size = bytes.size();
    qvrtest::WriteAll(path, std::string(kBefore, '<') + bytes + std::string(5, '>'));
    return std::make_unique<QVRPackFile>(path.c_str(), static_cast<unsigned>(kBefore),
                                         static_cast<unsigned>(kBefore + size), mode, "member");
  }
  std::string Contents() {
    std::string all = ReadAll(path);
    EXPECT_EQ(all.substr(0, kBefore), std::string(kBefore, '<'));
    EXPECT_EQ(all.substr(kBefore + size), std::string(5, '>'));
    return all.substr(kBefore, size);
  }
  TempDir dir;
  std::string path;
  size_t size = 0;
};

// Reaches a stream only through its Read, so that the base class's own
// byte-at-a-time GetLine runs over it: the yardstick for the streams' faster
// overrides.
class ThroughRead : public QVRResFile {
 public:
  explicit ThroughRead(QVRResFile& inner) : m_inner(inner) { Sync(); }
  bool Eof() const override { return m_inner.Eof(); }
  bool Seek(int offset, int origin) override {
    bool moved = m_inner.Seek(offset, origin);
    Sync();
    return moved;
  }
  unsigned GetPos() const override { return m_inner.GetPos(); }
  unsigned Read(void* data, unsigned count) override {
    unsigned n = m_inner.Read(data, count);
    Sync();
    return n;
  }
  unsigned Write(const void* data, unsigned count) override {
    unsigned n = m_inner.Write(data, count);
    Sync();
    return n;
  }
  void PrintInfo() const override {}

 private:
  void Sync() {
    m_mode = static_cast<uint8_t>(m_inner.GetMode());
    m_state = static_cast<uint8_t>(m_inner.GetState());
    m_eof = m_inner.Eof();
  }
  QVRResFile& m_inner;
};

template <class Maker>
class StreamContract : public ::testing::Test {
 protected:
  std::unique_ptr<QVRResFile> Open(const std::string& bytes, unsigned mode = QVRResFile::READ) {
    auto stream = maker.Make(bytes, mode);
    EXPECT_TRUE(stream->Good());
    return stream;
  }
  std::string Line(QVRResFile& s, unsigned size, unsigned* result, char delimiter = '\n') {
    char buffer[128];
    std::memset(buffer, '#', sizeof buffer);
    *result = s.GetLine(buffer, size, delimiter);
    return *result != 0 ? std::string(buffer) : std::string("<none>");
  }
  Maker maker;
};

using StreamTypes = ::testing::Types<DiskStream, MemoryStream, WindowStream>;
TYPED_TEST_SUITE(StreamContract, StreamTypes);

TYPED_TEST(StreamContract, ShortReadStopsTheStreamUntilASeek) {
  auto s = this->Open("\x01\x02\x03");
  EXPECT_EQ(s->Read32(), 0u);
  EXPECT_FALSE(s->Good());
  EXPECT_EQ(s->GetState(), QVRResFile::READ_AT_END);
  EXPECT_EQ(s->GetPos(), 3u);  // the bytes were consumed all the same
  EXPECT_EQ(s->Read8(), 0u);
  EXPECT_TRUE(s->Seek(1, 0));
  EXPECT_TRUE(s->Good());
  EXPECT_EQ(s->Read8(), 2u);
  s->SeekStart();
  EXPECT_TRUE(s->Good());
  EXPECT_FALSE(s->Eof());
  EXPECT_EQ(s->Read8(), 1u);
  EXPECT_EQ(s->ReadBE16(), 0x0203u);

  // Once stopped, nothing more is read even where data remains.
  s->SeekStart();
  char big[8];
  EXPECT_EQ(s->Read(big, 8), 3u);
  s->Seek(1, 0);
  s->Read(big, 8);
  EXPECT_EQ(s->Read8(), 0u);
  EXPECT_EQ(s->GetState(), QVRResFile::READ_AT_END);
  EXPECT_EQ(s->Read(nullptr, 1), 0u);
}

TYPED_TEST(StreamContract, ReadAtTheEndAndUnknownOrigins) {
  auto s = this->Open("\x01\x02\x03\x04");
  EXPECT_EQ(s->Read32(), 0x04030201u);
  EXPECT_TRUE(s->Good());
  // The position is at the end: a fixed-size read returns 0 on every stream,
  // but only the disk stream records it in its state.
  EXPECT_EQ(s->Read32(), 0u);
  EXPECT_EQ(s->Good(), TypeParam::kReadAtEndStaysOK);
  if (!TypeParam::kReadAtEndStaysOK) {
    EXPECT_EQ(s->GetState(), QVRResFile::READ_AT_END);
  }
  char byte;
  s->SeekStart();
  s->Read32();
  EXPECT_EQ(s->Read(&byte, 1), 0u);  // the count tells it on every stream

  EXPECT_TRUE(s->Seek(3, QVRResFile::SEEK_FROM_START));
  EXPECT_EQ(s->Seek(1, 7), TypeParam::kUnknownOriginFromStart);
  if (TypeParam::kUnknownOriginFromStart) {
    EXPECT_EQ(s->GetPos(), 1u);
    EXPECT_EQ(s->Read8(), 2u);
  } else {
    EXPECT_EQ(s->GetState(), QVRResFile::SEEK_ERROR);
  }
  EXPECT_TRUE(s->Seek(-1, QVRResFile::SEEK_FROM_END));
  EXPECT_EQ(s->Read8(), 4u);
  EXPECT_TRUE(s->Seek(-2, QVRResFile::SEEK_FROM_CURRENT));
  EXPECT_EQ(s->Read8(), 3u);
}

TYPED_TEST(StreamContract, ByteOrderReaders) {
  // 1.5f is 0x3FC00000 and -2.25 is 0xC002000000000000, stored little-endian.
  std::string bytes("\x12\x34\x01\x02\x03\x04\x00\x00\xC0\x3F", 10);
  bytes += std::string("\x00\x00\x00\x00\x00\x00\x02\xC0", 8);
  auto s = this->Open(bytes);
  EXPECT_EQ(s->ReadBE16(), 0x1234u);
  EXPECT_EQ(s->ReadBE32(), 0x01020304u);
  EXPECT_FLOAT_EQ(s->ReadFl(), 1.5f);
  EXPECT_DOUBLE_EQ(s->ReadDbl(), -2.25);
  EXPECT_TRUE(s->Good());
  s->SeekStart();
  EXPECT_EQ(s->Read16(), 0x3412u);
  EXPECT_EQ(s->Read32(), 0x04030201u);
  EXPECT_TRUE(s->Seek(-2, 2));
  EXPECT_EQ(s->ReadDbl(), 0.0);  // only 2 bytes left: consumed, 0 returned
  EXPECT_EQ(s->GetState(), QVRResFile::READ_AT_END);
  EXPECT_EQ(s->GetPos(), 18u);
}

TYPED_TEST(StreamContract, EndOfDataFlag) {
  auto s = this->Open("\x01\x02\x03\x04");
  EXPECT_FALSE(s->Eof());
  EXPECT_EQ(s->Read32(), 0x04030201u);
  EXPECT_TRUE(s->Good());
  EXPECT_EQ(s->Eof(), TypeParam::kEofAtLastByte);
  EXPECT_EQ(s->Read8(), 0u);
  EXPECT_TRUE(s->Eof());
  // Memory and window streams refuse to read at the end without an error
  // state; the disk stream reports the failed read.
  EXPECT_EQ(s->Good(), TypeParam::kEofAtLastByte);
  s->SeekStart();
  EXPECT_TRUE(s->Good());
  EXPECT_FALSE(s->Eof());
  EXPECT_EQ(s->Read32(), 0x04030201u);
}

TYPED_TEST(StreamContract, SeekBoundsAndRecovery) {
  auto s = this->Open("abcdef");
  EXPECT_FALSE(s->Seek(-1, 0));
  EXPECT_EQ(s->GetState(), QVRResFile::SEEK_ERROR);
  EXPECT_EQ(s->Read8(), 0u);
  EXPECT_TRUE(s->Seek(2, 0));
  EXPECT_EQ(s->Read8(), 'c');
  EXPECT_TRUE(s->Seek(-2, 1));
  EXPECT_EQ(s->GetPos(), 1u);
  EXPECT_EQ(s->Read8(), 'b');
  EXPECT_TRUE(s->Seek(-1, 2));
  EXPECT_EQ(s->GetPos(), 5u);
  EXPECT_EQ(s->Read8(), 'f');
  EXPECT_FALSE(s->Seek(-100, 1));
  EXPECT_FALSE(s->Good());
  s->SeekStart();
  EXPECT_TRUE(s->Good());
  EXPECT_EQ(s->GetPos(), 0u);
  EXPECT_TRUE(s->Seek(0, 1));
  EXPECT_EQ(s->Read8(), 'a');
}

TYPED_TEST(StreamContract, GetLineIntoBuffer) {
  auto s = this->Open("ab\r\n\ncd");
  unsigned n;
  EXPECT_EQ(this->Line(*s, 80, &n), "ab");
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(this->Line(*s, 80, &n), "");
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(this->Line(*s, 80, &n), "cd");
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(this->Line(*s, 80, &n), "<none>");
  EXPECT_EQ(n, 0u);
  EXPECT_TRUE(s->Eof());

  // A cut line returns size and leaves the rest for the next call.
  s = this->Open("abcdef\nx");
  EXPECT_EQ(this->Line(*s, 3, &n), "ab");
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(this->Line(*s, 3, &n), "cd");
  EXPECT_EQ(this->Line(*s, 3, &n), "ef");
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(this->Line(*s, 3, &n), "");
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(this->Line(*s, 3, &n), "x");
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(this->Line(*s, 3, &n), "<none>");
  EXPECT_EQ(s->Good(), TypeParam::kEofAtLastByte);

  // Size 1 stores only the terminator; size 0 and a null buffer do nothing.
  s = this->Open(std::string("a;b\r;\0c", 7));
  char one[1] = {'#'};
  EXPECT_EQ(s->GetLine(one, 1, ';'), 1u);
  EXPECT_EQ(one[0], 0);
  EXPECT_EQ(s->GetLine(one, 0, ';'), 0u);
  EXPECT_EQ(s->GetLine(nullptr, 10, ';'), 0u);
  EXPECT_EQ(s->GetPos(), 0u);
  // Only a "\n" delimiter drops the carriage return.
  EXPECT_EQ(this->Line(*s, 80, &n, ';'), "a");
  EXPECT_EQ(this->Line(*s, 80, &n, ';'), "b\r");
  EXPECT_EQ(n, 3u);
}

TYPED_TEST(StreamContract, GetLineIntoString) {
  auto s = this->Open("ab\r\n\ncd");
  QVRString line("old");
  EXPECT_EQ(s->GetLine(line, 0xFFFFFFFFu, '\n'), 4u);
  EXPECT_EQ(line.Compare("ab"), 0);
  EXPECT_EQ(line.Length(), 2u);
  EXPECT_EQ(s->GetLine(line), 1u);
  EXPECT_EQ(line.Length(), 0u);
  EXPECT_EQ(s->GetLine(line), 2u);
  EXPECT_EQ(line.Compare("cd"), 0);
  EXPECT_EQ(s->GetLine(line), 0u);
  EXPECT_TRUE(s->Eof());

  // The size counts consumed bytes; zero bytes are not kept in a string.
  s = this->Open(std::string("abcdef\ng\0h\n", 11));
  EXPECT_EQ(s->GetLine(line, 4), 4u);
  EXPECT_EQ(line.Compare("abcd"), 0);
  EXPECT_EQ(s->GetLine(line, 4), 3u);
  EXPECT_EQ(line.Compare("ef"), 0);
  EXPECT_EQ(s->GetLine(line, 0), 0u);
  EXPECT_EQ(s->GetLine(line), 4u);
  EXPECT_EQ(line.Compare("gh"), 0);
  // The carriage return is judged on the text as kept.
  s = this->Open(std::string("x\r\0\na\r\0\r\n\0\0\n", 12));
  EXPECT_EQ(s->GetLine(line), 4u);
  EXPECT_EQ(line.Compare("x"), 0);
  EXPECT_EQ(s->GetLine(line), 5u);
  EXPECT_EQ(line.Compare("a\r"), 0);
  EXPECT_EQ(s->GetLine(line), 3u);
  EXPECT_EQ(line.Length(), 0u);

  // A long line is kept whole.
  std::string longLine(5000, 'z');
  s = this->Open(longLine + "\r\nend");
  EXPECT_EQ(s->GetLine(line), 5002u);
  EXPECT_EQ(line.Length(), 5000u);
  EXPECT_EQ(line.Compare(longLine.c_str()), 0);
  EXPECT_EQ(s->GetLine(line), 3u);
  EXPECT_EQ(line.Compare("end"), 0);
}

TYPED_TEST(StreamContract, GetLineMatchesTheByteByByteReader) {
  std::mt19937 rng(7);
  const char alphabet[] = {'a', 'b', '\r', '\n', ';', '\0'};
  for (int round = 0; round < 60; ++round) {
    std::string bytes(1 + rng() % 40, 'a');
    for (char& c : bytes) c = alphabet[rng() % sizeof alphabet];
    TypeParam otherMaker;
    auto fast = this->Open(bytes);
    auto inner = otherMaker.Make(bytes, QVRResFile::READ);
    ThroughRead slow(*inner);
    for (int call = 0; call < 30; ++call) {
      const char delimiter = rng() % 4 == 0 ? ';' : '\n';
      const unsigned size = rng() % 5 == 0 ? 0xFFFFFFFFu : rng() % 8;
      if (rng() % 2 == 0 && size != 0xFFFFFFFFu) {
        char a[8] = {}, b[8] = {};
        ASSERT_EQ(fast->GetLine(a, size, delimiter), slow.GetLine(b, size, delimiter));
        ASSERT_EQ(0, std::memcmp(a, b, sizeof a));
      } else {
        QVRString a, b;
        ASSERT_EQ(fast->GetLine(a, size, delimiter), slow.GetLine(b, size, delimiter));
        ASSERT_EQ(a.Length(), b.Length());
        ASSERT_EQ(a.Compare(b.Text()), 0);
      }
      ASSERT_EQ(fast->GetState(), slow.GetState()) << round << " " << call;
      ASSERT_EQ(fast->Eof(), slow.Eof()) << round << " " << call;
      ASSERT_EQ(fast->GetPos(), slow.GetPos()) << round << " " << call;
      if (rng() % 10 == 0) {
        fast->SeekStart();
        slow.SeekStart();
      }
    }
  }
}

TYPED_TEST(StreamContract, WritesOnReadOnlyStreamAreRefused) {
  auto s = this->Open("abcd");
  EXPECT_FALSE(s->Write16(0x4142));
  EXPECT_TRUE(s->Good());
  EXPECT_EQ(s->Write("zz", 2), 0u);
  EXPECT_EQ(s->WriteStr(QVRString("hello"), 3), 0u);
  EXPECT_EQ(s->GetPos(), 0u);
  EXPECT_TRUE(s->Good());
  s.reset();
  EXPECT_EQ(this->maker.Contents(), "abcd");
}

TYPED_TEST(StreamContract, WritesAndMixedAccess) {
  auto s = this->Open("0123456789", QVRResFile::READWRITE);
  EXPECT_EQ(s->WriteStr(QVRString("hello"), 3), 3u);
  EXPECT_EQ(s->WriteStr(QVRString(), 3), 0u);
  EXPECT_TRUE(s->WriteBE16(0x4142));
  EXPECT_EQ(s->GetPos(), 5u);
  // Reading right after writing, and writing right after reading, continue
  // at the position reached.
  EXPECT_EQ(s->Read8(), '5');
  EXPECT_TRUE(s->Write8('x'));
  EXPECT_EQ(s->Read8(), '7');
  EXPECT_TRUE(s->Good());
  s->SeekStart();
  char back[10];
  EXPECT_EQ(s->Read(back, 10), 10u);
  EXPECT_EQ(std::string(back, 10), "helAB5x789");
  s->Seek(8, 0);
  EXPECT_EQ(s->Write("!!!", 3), TypeParam::kFixedSize ? 2u : 3u);
  EXPECT_EQ(s->Good(), !TypeParam::kFixedSize);
  s->Flush();
  s.reset();
  EXPECT_EQ(this->maker.Contents(), TypeParam::kFixedSize ? "helAB5x7!!" : "helAB5x7!!!");
}

TYPED_TEST(StreamContract, ClosedStream) {
  auto s = this->Open("abcd");
  EXPECT_NE(s->GetName(), nullptr);
  s->Read8();
  s->Close();
  EXPECT_EQ(s->GetState(), QVRResFile::FILE_CLOSED);
  EXPECT_EQ(s->GetMode(), 0u);
  EXPECT_EQ(s->GetName(), nullptr);
  EXPECT_EQ(s->GetPos(), 0u);
  EXPECT_FALSE(s->Seek(0, 0));
  s->SeekStart();
  s->SeekEnd();
  EXPECT_EQ(s->GetState(), QVRResFile::FILE_CLOSED);
  EXPECT_EQ(s->Read8(), 0u);
  EXPECT_FALSE(s->Write8(1));
  QVRString line;
  EXPECT_EQ(s->GetLine(line), 0u);
  s->Flush();
  s->Close();  // twice is harmless
}

}  // namespace
