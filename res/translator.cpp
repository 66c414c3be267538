// QVRTranslator: folder scan for language files and the reader of one file.
//
// Language file, little-endian:
//   0       "LanG"
//   4       1 byte, unused
//   5       N: bytes of the language name with its terminator (0: invalid)
//   6       the name, N bytes
//   6+N     A: number of string slots      10+N  B: offset of the length table
//   14+N    C: offset of the string data   18+N  D: bytes of string data
//   B       A 16-bit lengths, terminator included; 0 = no such string
//   C       D bytes: the strings back to back in number order
#include "io/le.h"
#include "io/platform.h"
#include "qvr3d/translator.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "qvr3d/core.h"
#include "qvr3d/fileutils.h"
#include "qvr3d/string.h"

QVRTranslator* QVRTranslator::m_instance = nullptr;

namespace {

constexpr size_t kPathMax = 4096;
constexpr char kSeparator = qvr::detail::kNativeSeparator;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Game code written for Windows says "lang\english.lng" and code written
// elsewhere "lang/english.lng"; both become the native form.
std::string NativePath(const char* path) {
  std::string result(path);
  for (char& c : result) {
    if (IsSeparator(c)) c = kSeparator;
  }
  return result;
}

char* CopyText(const std::string& s) {
  char* copy = new char[s.size() + 1];
  std::memcpy(copy, s.c_str(), s.size() + 1);
  return copy;
}

uint32_t Le32(const unsigned char* p) { return qvr::detail::Get32(p); }

bool EqualNoCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    int ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
    if (ca >= 'A' && ca <= 'Z') ca += 'a' - 'A';
    if (cb >= 'A' && cb <= 'Z') cb += 'a' - 'A';
    if (ca != cb) return false;
    if (ca == 0) return true;
  }
}

// The current directory joined with a relative `name`; empty when the
// current directory cannot be read or the result would not fit a path.
std::string FromCurrentDir(const char* name) {
  char base[kPathMax];
  if (!QVRFileUtils::GetCWD(base, sizeof base)) return std::string();
  std::string path(base);
  if (path.empty() || !IsSeparator(path.back())) path += kSeparator;
  path += NativePath(name);
  return path.size() < kPathMax ? path : std::string();
}

// The 6 header bytes and the name. False for another magic, N = 0 or a short
// file; `name` receives the N bytes, terminated whatever the file holds.
bool ReadHead(FILE* file, std::string* name) {
  unsigned char head[6];
  if (std::fread(head, 1, 6, file) != 6 || std::memcmp(head, "LanG", 4) != 0) return false;
  const unsigned n = head[5];
  if (n == 0) return false;
  char bytes[256];
  if (std::fread(bytes, 1, n, file) != n) return false;
  bytes[n - 1] = 0;
  if (name) *name = bytes;
  return true;
}

}  // namespace

QVRTranslator* QVRTranslator::Singleton() {
  if (!m_instance) m_instance = new QVRTranslator();
  return m_instance;
}

QVRTranslator::QVRTranslator()
    : m_path(nullptr),
      m_curFile(nullptr),
      m_curName(nullptr),
      m_strings(nullptr),
      m_data(nullptr),
      m_files(nullptr),
      m_fileCount(0),
      m_fileCapacity(0),
      m_stringCount(0),
      m_cur(-1) {
  std::strcpy(m_missing, "String #");
}

QVRTranslator::~QVRTranslator() {
  DeleteFileArray();
  DeleteStringArray();
  if (m_instance == this) m_instance = nullptr;
}

void QVRTranslator::DeleteFileArray() {
  for (unsigned i = 0; i < m_fileCount; ++i) {
    delete[] m_files[i].name;
    delete[] m_files[i].path;
  }
  delete[] m_files;
  m_files = nullptr;
  m_fileCount = 0;
  m_fileCapacity = 0;
  delete[] m_path;
  m_path = nullptr;
  // The loaded language keeps its own copy of its name.
  m_cur = -1;
}

void QVRTranslator::DeleteStringArray() {
  delete[] m_strings;
  m_strings = nullptr;
  delete[] m_data;
  m_data = nullptr;
  delete[] m_curFile;
  m_curFile = nullptr;
  delete[] m_curName;
  m_curName = nullptr;
  m_stringCount = 0;
  m_cur = -1;
}

bool QVRTranslator::AddFile(char* name, char* path) {
  if (m_fileCount == m_fileCapacity) {
    const unsigned capacity = m_fileCapacity + 4;
    LangFile* files = new (std::nothrow) LangFile[capacity];
    if (!files) return false;
    for (unsigned i = 0; i < m_fileCount; ++i) files[i] = m_files[i];
    delete[] m_files;
    m_files = files;
    m_fileCapacity = capacity;
  }
  m_files[m_fileCount].name = name;
  m_files[m_fileCount].path = path;
  ++m_fileCount;
  return true;
}

int QVRTranslator::Init(const char* directory, const char* extension) {
  DeleteFileArray();
  DeleteStringArray();
  if (!directory || !*directory) return 0;

  std::string path;
  if (IsAbsolute(directory)) {
    path = NativePath(directory);
  } else {
    char base[kPathMax];
    if (!QVRFileUtils::GetCWD(base, sizeof base)) return 0;
    path = base;
    if (std::strcmp(directory, "..") == 0) {
      const size_t cut = path.find_last_of("/\\");
      // Cutting "/games" leaves the root, not an empty path.
      if (cut != std::string::npos) path.resize(cut == 0 ? 1 : cut);
    } else if (std::strcmp(directory, ".") != 0) {
      if (path.empty() || !IsSeparator(path.back())) path += kSeparator;
      path += NativePath(directory);
    }
  }
  if (path.empty() || !IsSeparator(path.back())) path += kSeparator;
  if (path.size() >= kPathMax) return 0;
  m_path = CopyText(path);

  std::string pattern = "*";
  if (extension) pattern += extension;
  char** names = nullptr;
  const unsigned count = QVRFileUtils::GetFileList(
      names, m_path, pattern.c_str(),
      QVRFileUtils::LIST_NO_DIRS | QVRFileUtils::LIST_NO_DOTS | QVRFileUtils::LIST_NO_HIDDEN);
  for (unsigned i = 0; i < count; ++i) {
    if (names[i][0] == '.') continue;
    const std::string full = path + names[i];
    if (full.size() >= kPathMax) continue;
    char* language = CheckLang(full.c_str());
    if (!language) continue;
    char* copy = CopyText(full);
    if (!AddFile(language, copy)) {
      delete[] language;
      delete[] copy;
    }
  }
  QVRFileUtils::FreeFileList(names, count);
  return static_cast<int>(m_fileCount);
}

char* QVRTranslator::CheckLang(const char* fileName) const {
  if (!fileName || !*fileName) return nullptr;
  FILE* file = std::fopen(NativePath(fileName).c_str(), "rb");
  if (!file) return nullptr;
  std::string name;
  const bool valid = ReadHead(file, &name);
  std::fclose(file);
  return valid ? CopyText(name) : nullptr;
}

const char* QVRTranslator::GetLangName(unsigned index) const {
  return index < m_fileCount ? m_files[index].name : nullptr;
}

const char* QVRTranslator::GetLangFile(unsigned index) const {
  return index < m_fileCount ? m_files[index].path : nullptr;
}

int QVRTranslator::RecordOfPath(const char* path) const {
  int found = -1;
  for (unsigned i = 0; i < m_fileCount; ++i) {
    if (EqualNoCase(m_files[i].path, path)) found = static_cast<int>(i);
  }
  return found;
}

bool QVRTranslator::LoadName(const char* language) {
  if (!language || m_fileCount == 0) return false;
  for (unsigned i = 0; i < m_fileCount; ++i) {
    if (std::strcmp(m_files[i].name, language) == 0) {
      return ReadFile(m_files[i].path, static_cast<int>(i));
    }
  }
  const std::string path = FromCurrentDir(language);
  return !path.empty() && ReadFile(path.c_str(), -1);
}

bool QVRTranslator::Load(const char* fileName, unsigned index) {
  if (!fileName) {
    if (index >= m_fileCount) return false;
    return ReadFile(m_files[index].path, static_cast<int>(index));
  }
  if (!*fileName) return false;
  const std::string path = IsAbsolute(fileName) ? NativePath(fileName) : FromCurrentDir(fileName);
  return !path.empty() && ReadFile(path.c_str(), -1);
}

// Everything is read and checked before the loaded language is replaced, so a
// file that fails for any reason leaves the previous language in place.
bool QVRTranslator::ReadFile(const char* path, int record) {
  FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  bool ok = false;
  std::string name;
  unsigned char fields[16];
  char** strings = nullptr;
  char* data = nullptr;
  uint32_t count = 0;
  do {
    if (!ReadHead(file, &name)) break;
    if (std::fread(fields, 1, 16, file) != 16) break;
    count = Le32(fields);
    const uint64_t tableAt = Le32(fields + 4), dataAt = Le32(fields + 8);
    const uint64_t dataSize = Le32(fields + 12);
    if (std::fseek(file, 0, SEEK_END) != 0) break;
    const long end = std::ftell(file);
    if (end < 0) break;
    const uint64_t fileSize = static_cast<uint64_t>(end);
    // Both blocks must lie inside the file: nothing is allocated for counts
    // the file cannot back.
    if (tableAt + 2ull * count > fileSize || dataAt + dataSize > fileSize) break;

    std::vector<unsigned char> lengths(2ull * count);
    if (count && (std::fseek(file, static_cast<long>(tableAt), SEEK_SET) != 0 ||
                  std::fread(lengths.data(), 1, lengths.size(), file) != lengths.size())) {
      break;
    }
    if (dataSize) {
      data = new (std::nothrow) char[dataSize];
      if (!data || std::fseek(file, static_cast<long>(dataAt), SEEK_SET) != 0 ||
          std::fread(data, 1, dataSize, file) != dataSize) {
        break;
      }
    }
    if (count) {
      strings = new (std::nothrow) char*[count];
      if (!strings) break;
    }
    uint64_t offset = 0;
    for (uint32_t i = 0; i < count; ++i) {
      const unsigned length = qvr::detail::Get16(lengths.data() + 2 * i);
      strings[i] = nullptr;
      // A string that would reach past the data block is not handed out; the
      // last byte of each is its terminator, whatever the file says, so no
      // string runs into the next one.
      if (length != 0 && offset + length <= dataSize) {
        strings[i] = data + offset;
        data[offset + length - 1] = 0;
      }
      offset += length;
    }
    ok = true;
  } while (false);
  std::fclose(file);
  if (!ok) {
    delete[] strings;
    delete[] data;
    return false;
  }

  DeleteStringArray();
  m_strings = strings;
  m_data = data;
  m_stringCount = count;
  m_curFile = CopyText(path);
  m_cur = record >= 0 ? record : RecordOfPath(path);
  m_curName = CopyText(m_cur >= 0 ? std::string(m_files[m_cur].name) : name);
  return true;
}

const char* QVRTranslator::GetCurName() const {
  return m_cur >= 0 ? m_files[m_cur].name : m_curName;
}

const char* QVRTranslator::GetCurFile() const { return m_curFile; }

const char* QVRTranslator::GetString(unsigned number) {
  if (number < m_stringCount) return m_strings[number];
  std::snprintf(m_missing, sizeof m_missing, "String #%d", static_cast<int>(number));
  return m_missing;
}

char* QVRTranslator::StrCopy(const char* s, unsigned start, unsigned count) const {
  return QVRString::StringCopy(s, start, count);
}

bool QVRTranslator::IsAbsolute(const char* path) const {
  if (!path) return false;
  const char c = path[0];
  if (c == '/' || c == '\\') return true;
  return ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) && path[1] == ':' && path[2] == '\\';
}

void QVRTranslator::PrintInfo(bool showStrings) const {
  if (m_fileCount) {
    QVR::LOG("Path : %s\nFiles:\n", m_path);
    for (unsigned i = 0; i < m_fileCount; ++i) {
      QVR::LOG("-[%d] %s (%s)\n", static_cast<int>(i), m_files[i].name, m_files[i].path);
    }
  }
  if (!m_curFile) {
    QVR::LOG("No file loaded.\n");
    return;
  }
  QVR::LOG("Lang file : %s\nLanguage  : %s\nStrings   : %d\n", m_curFile,
           GetCurName() ? GetCurName() : "", static_cast<int>(m_stringCount));
  if (!showStrings) return;
  QVR::LOG("Strings:\n");
  for (unsigned i = 0; i < m_stringCount; ++i) {
    QVR::LOG("-[%d] %s\n", static_cast<int>(i), m_strings[i] ? m_strings[i] : "");
  }
}
