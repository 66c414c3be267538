// Every seed of the fuzz corpora goes through the reader its fuzz target
// feeds, and gives one line: refused, or what was read (sizes, counts and a
// hash of the bytes). The lines must equal those kept in verdicts.txt, on
// every platform the library is built for, so that a reader that accepts,
// refuses or reads a file differently on one of them is caught. With
// QVR_WRITE_VERDICTS=1 in the environment the file is written instead.
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/tmpdir.h"
#include "qvr3d/qvr3d.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct Hash {
  uint64_t value = 1469598103934665603ull;
  void Add(const void* data, size_t size) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) value = (value ^ p[i]) * 1099511628211ull;
  }
  void Add(const char* text) {
    if (text == nullptr) {
      Add("\xff", 1);
      return;
    }
    Add(text, std::strlen(text) + 1);
  }
  std::string Text() const {
    char out[24];
    std::snprintf(out, sizeof out, "%016" PRIx64, value);
    return out;
  }
};

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char out[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(out, sizeof out, format, args);
  va_end(args);
  return out;
}

// The input without the first byte, which several targets use to choose.
Bytes Tail(const Bytes& file) {
  return file.size() < 2 ? Bytes() : Bytes(file.begin() + 1, file.end());
}

// A scratch file for the readers that take a name.
std::string OnDisk(const qvrtest::TempDir& dir, const Bytes& bytes) {
  const std::string path = dir / "input";
  qvrtest::WriteAll(path, std::string(bytes.begin(), bytes.end()));
  return path;
}

std::string ImageVerdict(const Bytes& file, const qvrtest::TempDir&) {
  if (file.size() < 2) return "skipped";
  static const int kIds[8] = {0, 1, 2, 3, 4, 5, 6, 0};
  Bytes bytes = Tail(file);
  QVRMemFile mem(static_cast<unsigned>(bytes.size()), QVRResFile::READ, bytes.data(), false,
                 "seed");
  QVRImage img;
  if (!img.Load(mem, kIds[file[0] & 7])) return "refused";
  Hash hash;
  const unsigned rowBytes = (img.GetWidth() * img.GetBpp() + 7) / 8;
  for (unsigned y = 0; y < img.GetHeight(); ++y)
    hash.Add(static_cast<const unsigned char*>(img.GetPixels()) + size_t(y) * img.GetPitch(),
             rowBytes);
  if (const QVRPal* pal = img.GetPalette()) hash.Add(pal->GetEntries(), 4 * pal->GetCount());
  return Format("%ux%u %u bits %s", img.GetWidth(), img.GetHeight(), img.GetBpp(),
                hash.Text().c_str());
}

std::string SoundVerdict(const Bytes& file, const qvrtest::TempDir&) {
  if (file.size() < 2) return "skipped";
  Bytes bytes = Tail(file);
  QVRMemFile mem(static_cast<unsigned>(bytes.size()), QVRResFile::READ, bytes.data(), false,
                 "seed");
  QVRSound sound;
  if (!sound.Load(mem, file[0] & 3)) return "refused";
  Hash hash;
  hash.Add(sound.GetData(), sound.GetSize());
  return Format("format %#x %d Hz %d channels %u bytes %s",
                static_cast<unsigned>(sound.GetFormat()), sound.GetFreq(), sound.GetChannels(),
                static_cast<unsigned>(sound.GetSize()), hash.Text().c_str());
}

std::string FontVerdict(const Bytes& file, const qvrtest::TempDir&) {
  if (file.size() < 2) return "skipped";
  Bytes bytes = Tail(file);
  QVRMemFile mem(static_cast<unsigned>(bytes.size()), QVRResFile::READ, bytes.data());
  QVRFont font;
  if (!((file[0] & 1) ? font.LoadV1(mem, 0) : font.Load(mem, 0))) return "refused";
  Hash hash;
  hash.Add(font.GetName());
  if (font.GetSheet())
    hash.Add(font.GetSheet(), size_t(font.GetSheetWidth()) * font.GetSheetHeight());
  for (unsigned c = font.GetFirstChar(); c <= font.GetLastChar(); ++c) {
    const QVRChar* glyph = font.GetChar(static_cast<uint8_t>(c));
    if (glyph) hash.Add(glyph, sizeof *glyph);
  }
  return Format("chars %u-%u sheet %ux%u %s", font.GetFirstChar(), font.GetLastChar(),
                font.GetSheetWidth(), font.GetSheetHeight(), hash.Text().c_str());
}

std::string PalVerdict(const Bytes& file, const qvrtest::TempDir&) {
  if (file.size() < 2) return "skipped";
  Bytes bytes = Tail(file);
  QVRMemFile mem(static_cast<unsigned>(bytes.size()), QVRResFile::READ, bytes.data());
  QVRPal pal;
  if (!pal.Load(mem, file[0] % 7)) return "refused";
  Hash hash;
  hash.Add(pal.GetEntries(), 4 * pal.GetCount());
  return Format("%u entries %s", pal.GetCount(), hash.Text().c_str());
}

std::string TextVerdict(const Bytes& file, const qvrtest::TempDir&) {
  if (file.size() < 2) return "skipped";
  Bytes bytes = Tail(file);
  QVRMemFile mem(static_cast<unsigned>(bytes.size()), QVRResFile::READ, bytes.data());
  QVRText text;
  if (!text.Load(mem, file[0] % 3)) return "refused";
  Hash hash;
  for (unsigned i = 0; i < text.Count(); ++i) hash.Add(text[i]);
  return Format("%u slots %s", text.Count(), hash.Text().c_str());
}

std::string ScoreVerdict(const Bytes& file, const qvrtest::TempDir&) {
  Bytes bytes = file;
  QVRMemFile mem(static_cast<unsigned>(bytes.size()), QVRResFile::READ, bytes.data());
  QVRScore table(3, QVRScore::HIGHEST_FIRST, 0);
  if (!table.Load(mem)) return "refused";
  Hash hash;
  for (unsigned rank = 0; rank < table.Size(); ++rank) {
    const QVRScoreEntry* entry = table.Entry(rank);
    if (entry) hash.Add(entry, sizeof *entry);
  }
  return Format("%u slots %u filled %s", table.Size(), table.Length(), hash.Text().c_str());
}

std::string ConfigVerdict(const Bytes& file, const qvrtest::TempDir& dir) {
  const std::string path = OnDisk(dir, file);
  QVRConfigMgr cfg(1);
  static const struct {
    const char* name;
    int type;
  } kParameters[] = {{"bool", QVRConfigMgr::CFG_BOOL},   {"int", QVRConfigMgr::CFG_INT},
                     {"float", QVRConfigMgr::CFG_FLOAT}, {"string", QVRConfigMgr::CFG_STRING},
                     {"color", QVRConfigMgr::CFG_COLOR}, {"date", QVRConfigMgr::CFG_DATE}};
  for (const auto& p : kParameters) {
    QVRConfigMgr::CfgValue zero;
    std::memset(&zero, 0, sizeof zero);
    cfg.AddParameter(p.name, p.type, zero);
  }
  if (!cfg.ParseFile(path.c_str())) return "refused";
  std::string out;
  for (const auto& p : kParameters) {
    const QVRConfigMgr::CfgCell* cell = cfg.GetCell(p.name);
    if (!cell) return Format("%s lost", p.name);
    const QVRConfigMgr::CfgValue& v = cell->value;
    switch (cell->type) {
      case QVRConfigMgr::CFG_BOOL:
        out += Format("%s=%d ", p.name, v.boolVal ? 1 : 0);
        break;
      case QVRConfigMgr::CFG_INT:
        out += Format("%s=%d ", p.name, static_cast<int>(v.intVal));
        break;
      case QVRConfigMgr::CFG_FLOAT:
        out += Format("%s=%.9g ", p.name, static_cast<double>(v.floatVal));
        break;
      case QVRConfigMgr::CFG_STRING: {
        Hash hash;
        hash.Add(v.strVal);
        out += Format("%s=%s ", p.name, hash.Text().c_str());
        break;
      }
      case QVRConfigMgr::CFG_COLOR:
        out +=
            Format("%s=%02x%02x%02x%02x ", p.name, v.color[0], v.color[1], v.color[2], v.color[3]);
        break;
      case QVRConfigMgr::CFG_DATE:
        out += Format("%s=%u ", p.name, static_cast<unsigned>(v.date));
        break;
      default:
        out += Format("%s:type %d ", p.name, cell->type);
        break;
    }
  }
  out.pop_back();
  return out;
}

std::string TranslatorVerdict(const Bytes& file, const qvrtest::TempDir& dir) {
  const std::string path = OnDisk(dir, file);
  QVRTranslator tr;
  if (!tr.Load(path.c_str(), 0)) return "refused";
  Hash hash;
  for (unsigned i = 0; i < tr.GetStringCount(); ++i) hash.Add(tr.GetString(i));
  return Format("%u strings %s", tr.GetStringCount(), hash.Text().c_str());
}

// Names, sizes and contents of every member, read through the archive's
// streams.
std::string Members(const QVRArchive& archive) {
  Hash hash;
  unsigned readable = 0;
  for (unsigned i = 0; i < archive.NbFiles(); ++i) {
    hash.Add(archive.FileName(i));
    const unsigned size = archive.FileSize(i);
    hash.Add(&size, sizeof size);
    std::unique_ptr<QVRResFile> member(archive.OpenResFile(i));
    if (!member) continue;
    ++readable;
    char buffer[4096];
    while (unsigned got = member->Read(buffer, sizeof buffer)) hash.Add(buffer, got);
  }
  return Format("%u members %u readable %s", archive.NbFiles(), readable, hash.Text().c_str());
}

std::string ArchiveFormatVerdict(const Bytes& file, const qvrtest::TempDir& dir) {
  const std::string path = OnDisk(dir, file);
  const int format = QVRArchive::FindArchiveFormat(path.c_str());
  std::unique_ptr<QVRArchive> archive(QVRArchive::OpenArchive(path.c_str()));
  if (!archive) return Format("format %d, refused", format);
  return Format("format %d, %s", format, Members(*archive).c_str());
}

std::string ArchiveOpenVerdict(const Bytes& file, const qvrtest::TempDir& dir) {
  if (file.empty()) return "skipped";
  const std::string path = OnDisk(dir, Tail(file));
  std::unique_ptr<QVRArchive> archive;
  if (file[0] & 1)
    archive.reset(new QVRArchPAK);
  else
    archive.reset(new QVRArchQVR);
  if (!archive->Open(path.c_str())) return "refused";
  return Members(*archive);
}

// The text helpers never refuse: what they make of the seed is its account.
std::string ParseVerdict(const Bytes& file, const qvrtest::TempDir&) {
  std::vector<char> text(file.begin(), file.end());
  text.push_back(0);
  Hash hash;
  std::vector<char> copy(text);
  QVRParse::SkipEqual(copy.data());
  QVRParse::ForceRange(copy.data(), 32, 126, '?');
  hash.Add(copy.data());
  unsigned long date = 0;
  const bool isDate = QVRParse::ReadDate(text.data(), date);
  QVRString name;
  name.Format("%s", text.data());
  name.MakeFilename();
  hash.Add(name.Text());
  return Format("date %s %lu %s", isDate ? "yes" : "no", isDate ? date : 0ul, hash.Text().c_str());
}

using Reader = std::function<std::string(const Bytes&, const qvrtest::TempDir&)>;

// Corpus folder and the reader its target feeds. The music player needs SDL,
// but its files are the sounds' formats read by the same header parsers:
// its seeds go through the sound reader. The OpenGL font has no reader
// without OpenGL and is left to the platforms that have it.
const std::map<std::string, Reader>& Readers() {
  static const std::map<std::string, Reader> readers = {
      {"archive_format", ArchiveFormatVerdict},
      {"archive_open", ArchiveOpenVerdict},
      {"config", ConfigVerdict},
      {"font", FontVerdict},
      {"image", ImageVerdict},
      {"music", SoundVerdict},
      {"pal", PalVerdict},
      {"parse", ParseVerdict},
      {"score", ScoreVerdict},
      {"sound", SoundVerdict},
      {"text", TextVerdict},
      {"translator", TranslatorVerdict},
  };
  return readers;
}

std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  char** list = nullptr;
  const unsigned count = QVRFileUtils::GetFileList(
      list, folder.c_str(), "*", QVRFileUtils::LIST_NO_DIRS | QVRFileUtils::LIST_NO_HIDDEN);
  for (unsigned i = 0; i < count; ++i) names.push_back(list[i]);
  QVRFileUtils::FreeFileList(list, count);
  std::sort(names.begin(), names.end());
  return names;
}

std::string Accounts() {
  const std::string corpus = std::string(QVR_TEST_SOURCE_DIR) + "/fuzz/corpus";
  std::string out;
  qvrtest::TempDir scratch;
  for (const auto& [target, reader] : Readers()) {
    const std::string folder = corpus + "/" + target;
    for (const std::string& name : Listing(folder)) {
      const std::string bytes = qvrtest::ReadAll(folder + "/" + name);
      out += target + "/" + name + ": " + reader(Bytes(bytes.begin(), bytes.end()), scratch) + "\n";
    }
  }
  return out;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  }
  return lines;
}

TEST(CorpusVerdicts, EveryReaderReadsTheSeedsAsOnEveryPlatform) {
  const std::string kept = std::string(QVR_TEST_SOURCE_DIR) + "/tests/corpus/verdicts.txt";
  const unsigned level = QVR::GetLogLevel();
  QVR::SetLogLevel(0);
  const std::string now = Accounts();
  QVR::SetLogLevel(level);
  const char* write = std::getenv("QVR_WRITE_VERDICTS");
  if (write && std::strcmp(write, "1") == 0) {
    ASSERT_TRUE(
        qvrtest::WriteAll(kept, "# Written by test_corpus with QVR_WRITE_VERDICTS=1.\n" + now));
    GTEST_SKIP() << "wrote " << kept;
  }
  const std::vector<std::string> expected = Lines(qvrtest::ReadAll(kept));
  const std::vector<std::string> got = Lines(now);
  ASSERT_FALSE(got.empty()) << "no seeds found under " << QVR_TEST_SOURCE_DIR << "/fuzz/corpus";
  std::map<std::string, std::string> want;
  for (const std::string& line : expected) want[line.substr(0, line.find(": "))] = line;
  for (const std::string& line : got) {
    const std::string key = line.substr(0, line.find(": "));
    auto it = want.find(key);
    if (it == want.end()) {
      ADD_FAILURE() << "new seed " << key << " (rewrite verdicts.txt with QVR_WRITE_VERDICTS=1)";
      continue;
    }
    EXPECT_EQ(it->second, line);
    want.erase(it);
  }
  for (const auto& [key, line] : want) ADD_FAILURE() << "seed gone: " << key;
}

}  // namespace
