// QVRArchive: format detection and the factory, lookup through a name index,
// entry streams, extraction, listings, and every edit. Edits that move data
// rebuild the archive in a temporary file beside it and then swap it in.
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "archive/fsutil.h"
#include "io/le.h"
#include "io/platform.h"
#include "qvr3d/archive.h"
#include "qvr3d/core.h"
#include "qvr3d/fileutils.h"
#include "qvr3d/stream.h"

namespace {

using qvr::detail::Get16;
using qvr::detail::Get32;
using qvr::detail::IsSeparator;

constexpr uint32_t kHeaderSize = 12;
// QVRFile positions are passed as int, so edits keep whole archives below
// 2 GiB; reading larger ones goes through window streams.
constexpr uint64_t kEditLimit = 0x7FFFFFFFu;
constexpr unsigned kDetectBytes = 30;
constexpr unsigned kMinHashSlots = 16;

uint32_t HashName(const char* s) {
  uint32_t hash = 2166136261u;  // FNV-1a
  for (; *s != 0; ++s) {
    hash ^= static_cast<uint8_t>(*s);
    hash *= 16777619u;
  }
  return hash;
}

bool StartsWith(const uint8_t* data, unsigned length, const char* magic, unsigned magicLength) {
  return length >= magicLength && std::memcmp(data, magic, magicLength) == 0;
}

// No magic: a count of 12-byte records and a data size that together account
// for the whole file.
bool ProbeSized(const uint8_t* head, unsigned got, const char* path) {
  uint64_t size = 0;
  return got >= 6 && qvr::detail::FileSize(path, size) &&
         size == 6 + 12ull * Get16(head) + Get32(head + 2);
}

template <class Format>
QVRArchive* Make() {
  return new Format;
}

// Every archive format the library knows, in probe order: the first row whose
// magic starts the file (or whose probe accepts it) names the format. Formats
// without a factory are recognised and named, not opened.
struct ArchiveFormat {
  int id;
  const char* name;
  const char* magic;  // null: decided by `probe`
  unsigned magicLength;
  bool (*probe)(const uint8_t* head, unsigned got, const char* path);
  QVRArchive* (*make)();
};

const ArchiveFormat kFormats[] = {
    {QVRArchive::FORMAT_QVR, "QVR", "QVRA", 4, nullptr, Make<QVRArchQVR>},
    {QVRArchive::FORMAT_PAK, "PAK", "PACK", 4, nullptr, Make<QVRArchPAK>},
    {QVRArchive::FORMAT_RASS, "rass", "rass", 4, nullptr, nullptr},
    {QVRArchive::FORMAT_BIFF, "BIFF", "BIFFV1  ", 8, nullptr, nullptr},
    {QVRArchive::FORMAT_ZIP, "ZIP", "PK\x03\x04", 4, nullptr, nullptr},
    {QVRArchive::FORMAT_ENSEMBLE, "Ensemble", "Copyright (c) 1997 Ensemble", 27, nullptr, nullptr},
    {QVRArchive::FORMAT_SIZED, "sized", nullptr, 0, ProbeSized, nullptr},
};

const ArchiveFormat* FormatRow(int id) {
  for (const ArchiveFormat& row : kFormats) {
    if (row.id == id) return &row;
  }
  return nullptr;
}

// The stored form of a given name: its last path component, cut to
// `maxLength`. Null when the name ends with a separator or is empty.
const char* NameRule(const char* given, unsigned maxLength, unsigned& length) {
  const char* base = given;
  for (const char* p = given; *p != 0; ++p) {
    if (IsSeparator(*p)) base = p + 1;
  }
  size_t full = std::strlen(base);
  if (full == 0) return nullptr;
  length = full > maxLength ? maxLength : static_cast<unsigned>(full);
  return base;
}

// `file` made absolute against the current directory, with native separators.
bool AbsoluteName(const char* file, std::string& out) {
  if (file == nullptr || file[0] == 0) return false;
  if (QVRFileUtils::IsAbsolute(file)) return qvr::detail::NativePath(file, out);
  char cwd[qvr::detail::kPathMax];
  if (!QVRFileUtils::GetCWD(cwd, sizeof cwd)) return false;
  return qvr::detail::JoinPath(cwd, file, out);
}

uint64_t SizeOnDisk(const char* path) {
  uint64_t size = 0;
  return qvr::detail::FileSize(path, size) ? size : 0;
}

}  // namespace

// ---- Construction, detection and the factory ------------------------------

QVRArchive::QVRArchive(int format)
    : m_format(format), m_dataEnd(0), m_name(nullptr), m_file(nullptr) {}

QVRArchive::~QVRArchive() {
  delete[] m_name;
  m_name = nullptr;
  qvr::detail::ReleaseFile(m_file);
  m_file = nullptr;
}

bool QVRArchive::ReopenFile() const {
  qvr::detail::ReleaseFile(m_file);
  m_file = m_name != nullptr ? qvr::detail::OpenSharedFile(m_name, false) : nullptr;
  return m_file != nullptr;
}

int QVRArchive::FindArchiveFormat(const char* file) {
  std::string path;
  if (file == nullptr || file[0] == 0 || !qvr::detail::NativePath(file, path)) return FORMAT_NONE;
  uint8_t head[kDetectBytes];
  unsigned got = 0;
  {
    QVRFile f(path.c_str(), QVRResFile::READ);
    if (!f.Good()) return FORMAT_NONE;
    got = f.Read(head, kDetectBytes);
  }
  if (got == 0) return FORMAT_NONE;
  for (const ArchiveFormat& row : kFormats) {
    bool match = row.magic != nullptr ? StartsWith(head, got, row.magic, row.magicLength)
                                      : row.probe(head, got, path.c_str());
    if (match) return row.id;
  }
  return FORMAT_NONE;
}

QVRArchive* QVRArchive::OpenArchive(const char* file) {
  const ArchiveFormat* row = FormatRow(FindArchiveFormat(file));
  if (row == nullptr || row->make == nullptr) return nullptr;
  std::unique_ptr<QVRArchive> archive(row->make());
  if (!archive->Open(file)) return nullptr;
  return archive.release();
}

const char* QVRArchive::FormatText(int format) {
  const ArchiveFormat* row = FormatRow(format);
  return row != nullptr ? row->name : "unknown";
}

bool QVRArchive::IsSafeName(const char* name) {
  if (name == nullptr || name[0] == 0 || IsSeparator(name[0])) return false;
  char first = name[0];
  bool letter = (first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z');
  if (letter && name[1] == ':') return false;  // a drive, absolute or drive-relative
  for (const char* p = name; *p != 0;) {
    const char* end = p;
    while (*end != 0 && !IsSeparator(*end)) ++end;
    if (end - p == 2 && p[0] == '.' && p[1] == '.') return false;
    p = *end != 0 ? end + 1 : end;
  }
  return true;
}

// ---- Directory storage and the name index ---------------------------------

char* QVRArchive::StoreName(const char* name, unsigned length) {
  std::unique_ptr<char[]> block(new char[length + 1]);
  std::memcpy(block.get(), name, length);
  block[length] = 0;
  m_nameBlocks.push_back(std::move(block));
  return m_nameBlocks.back().get();
}

void QVRArchive::RebuildIndex() {
  size_t slots = kMinHashSlots;
  while (slots < m_entries.size() * 2) slots <<= 1;
  m_hashSlots.assign(slots, 0);
  for (unsigned i = 0; i < m_entries.size(); ++i) IndexEntry(i);
}

void QVRArchive::IndexEntry(unsigned i) {
  if (m_entries.size() * 2 > m_hashSlots.size()) {
    RebuildIndex();
    return;
  }
  const char* name = m_entries[i].name;
  size_t mask = m_hashSlots.size() - 1;
  size_t slot = HashName(name) & mask;
  while (m_hashSlots[slot] != 0) {
    // An earlier entry of the same name keeps the slot: lookups find the
    // first one in stored order.
    if (std::strcmp(m_entries[m_hashSlots[slot] - 1].name, name) == 0) return;
    slot = (slot + 1) & mask;
  }
  m_hashSlots[slot] = i + 1;
}

unsigned QVRArchive::FindFile(const char* name) const {
  if (name == nullptr || m_hashSlots.empty()) return NONE;
  size_t mask = m_hashSlots.size() - 1;
  for (size_t slot = HashName(name) & mask; m_hashSlots[slot] != 0; slot = (slot + 1) & mask) {
    unsigned i = m_hashSlots[slot] - 1;
    if (std::strcmp(m_entries[i].name, name) == 0) return i;
  }
  return NONE;
}

bool QVRArchive::LoadDirectory(const char* file, const std::vector<RawEntry>& entries,
                               uint64_t fileSize, uint32_t dataEnd) {
  std::string absolute;
  if (!AbsoluteName(file, absolute)) return false;
  size_t nameBytes = 0;
  for (const RawEntry& raw : entries) {
    if (static_cast<uint64_t>(raw.start) + raw.size > fileSize) return false;
    nameBytes += raw.nameLength + 1;
  }
  Close();
  m_name = QVRString::StringCopy(absolute.c_str());
  m_dataEnd = dataEnd;
  ReopenFile();
  // All names of a freshly read directory share one block.
  std::unique_ptr<char[]> block(new char[nameBytes + 1]);
  char* next = block.get();
  m_entries.resize(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    const RawEntry& raw = entries[i];
    ArchiveEntry& entry = m_entries[i];
    std::memcpy(next, raw.name, raw.nameLength);
    next[raw.nameLength] = 0;
    entry.index = static_cast<uint32_t>(i);
    entry.name = next;
    entry.size = raw.size;
    entry.start = raw.start;
    entry.date = raw.date;
    next += raw.nameLength + 1;
  }
  m_nameBlocks.push_back(std::move(block));
  RebuildIndex();
  return true;
}

void QVRArchive::Close() {
  delete[] m_name;
  m_name = nullptr;
  // Streams handed out keep their own hold on the file.
  qvr::detail::ReleaseFile(m_file);
  m_file = nullptr;
  m_entries.clear();
  m_nameBlocks.clear();
  m_hashSlots.clear();
  m_dataEnd = kHeaderSize;
}

void QVRArchive::SetName(const char* file) {
  std::string absolute;
  if (!AbsoluteName(file, absolute)) return;
  delete[] m_name;
  m_name = QVRString::StringCopy(absolute.c_str());
  // Streams follow the name: the file under it is opened by the next one.
  qvr::detail::ReleaseFile(m_file);
  m_file = nullptr;
}

bool QVRArchive::WriteDirectoryAt(QVRResFile& f, const std::vector<ArchiveEntry>& entries,
                                  uint32_t dataEnd) const {
  unsigned recordSize = RecordSize();
  std::vector<uint8_t> records(entries.size() * recordSize);
  for (size_t i = 0; i < entries.size(); ++i) EncodeRecord(entries[i], &records[i * recordSize]);
  uint8_t header[kHeaderSize];
  EncodeHeader(header, dataEnd, static_cast<unsigned>(entries.size()));
  if (dataEnd > kEditLimit || !f.Seek(static_cast<int>(dataEnd), QVRResFile::SEEK_FROM_START))
    return false;
  // The header goes last, so a directory that could not be written in full
  // is never pointed to.
  if (!records.empty() &&
      f.Write(records.data(), static_cast<unsigned>(records.size())) != records.size()) {
    return false;
  }
  f.Flush();
  return f.Seek(0, QVRResFile::SEEK_FROM_START) && f.Write(header, kHeaderSize) == kHeaderSize;
}

bool QVRArchive::WriteDirectory(QVRResFile& f) const {
  return WriteDirectoryAt(f, m_entries, m_dataEnd);
}

// ---- Provider operations --------------------------------------------------

const char* QVRArchive::Name() const { return m_name; }
unsigned QVRArchive::NbFiles() const { return static_cast<unsigned>(m_entries.size()); }

QVRResFile* QVRArchive::OpenFile(const char* name) const {
  unsigned i = FindFile(name);
  return i == NONE ? nullptr : OpenResFile(i);
}

QVRResFile* QVRArchive::OpenFile(const iterator& it) const { return OpenResFile(it.GetPos()); }

bool QVRArchive::CopyFile(const char* name, const char* dst) const {
  unsigned i = FindFile(name);
  return i != NONE && ExtractFile(i, dst);
}

const char* QVRArchive::FileName(unsigned i) const { return m_entries[i].name; }
unsigned QVRArchive::FileSize(unsigned i) const { return m_entries[i].size; }
unsigned long QVRArchive::FileDate(unsigned i) const { return m_entries[i].date; }
bool QVRArchive::FileAccess(unsigned, unsigned) const { return true; }
bool QVRArchive::IsFileHidden(unsigned) const { return false; }
bool QVRArchive::IsFile(unsigned) const { return true; }
bool QVRArchive::IsFileLink(unsigned) const { return false; }
bool QVRArchive::IsFileDir(unsigned) const { return false; }

int QVRArchive::CompareFunc(const QVRSortableItem* a, const QVRSortableItem* b) const {
  const ArchiveEntry* x = static_cast<const ArchiveEntry*>(a);
  const ArchiveEntry* y = static_cast<const ArchiveEntry*>(b);
  return CompareItems(x->name, x->size, x->date, false, y->name, y->size, y->date, false, false);
}

QVRSortableItem* QVRArchive::GetItem(unsigned i) const {
  return const_cast<ArchiveEntry*>(&m_entries[i]);
}

const ArchiveEntry* QVRArchive::GetEntry(unsigned i) const {
  return i < m_entries.size() ? &m_entries[i] : nullptr;
}

unsigned QVRArchive::TotalSize() const {
  uint64_t total = 0;
  for (const ArchiveEntry& entry : m_entries) total += entry.size;
  return total > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<unsigned>(total);
}

void QVRArchive::PrintInfo() const {
  QVR::LOG("Archive %s (%d entries)\n", m_name ? m_name : "(null)",
           static_cast<int>(m_entries.size()));
  for (const ArchiveEntry& entry : m_entries) {
    QVR::LOG("  %-40s   %6d bytes   date=%10d   R(%3d)\n", entry.name, static_cast<int>(entry.size),
             static_cast<int>(entry.date), static_cast<int>(entry.index));
  }
  QVR::LOG("\n");
}

void QVRArchive::PrintContent() const {
  if (m_entries.empty()) {
    QVR::LOG("No files in archive.\n");
    return;
  }
  static const char kBorder[] =
      "+------------------------------------------+------------+------------+------------------+";
  QVR::LOG("%s\n", kBorder);
  QVR::LOG(
      "|                  Files                   |     Size   |    Start   |       Date       "
      "|\n");
  QVR::LOG("%s\n", kBorder);
  for (const ArchiveEntry& entry : m_entries) {
    time_t when = static_cast<time_t>(entry.date);
    struct tm local;
    std::memset(&local, 0, sizeof local);
#if defined(_WIN32)
    localtime_s(&local, &when);
#else
    localtime_r(&when, &local);
#endif
    QVR::LOG("| %-40s | %10d | %10d | %2d/%2d/%4d %2d:%02d |\n", entry.name,
             static_cast<int>(entry.size), static_cast<int>(entry.start), local.tm_mday,
             local.tm_mon + 1, local.tm_year + 1900, local.tm_hour, local.tm_min);
  }
  QVR::LOG("%s\n", kBorder);
  QVR::LOG("  Total: %d files, %d bytes.\n", static_cast<int>(m_entries.size()),
           static_cast<int>(TotalSize()));
}

// ---- Reading entries ------------------------------------------------------

QVRResFile* QVRArchive::OpenResFile(unsigned i) const {
  if (i >= m_entries.size() || m_name == nullptr) return nullptr;
  const ArchiveEntry& entry = m_entries[i];
  uint64_t end = static_cast<uint64_t>(entry.start) + entry.size;
  if (end > 0xFFFFFFFFu) return nullptr;
  if (m_file == nullptr && !ReopenFile()) return nullptr;
  std::unique_ptr<QVRPackFile> file(new QVRPackFile);
  file->OpenShared(m_file, m_name, entry.start, static_cast<uint32_t>(end), entry.name);
  // Every entry was checked against this file's size when the directory was
  // read, and edits only grow it in place or open the file that replaces it.
  if (!file->Good()) return nullptr;
  return file.release();
}

bool QVRArchive::ExtractFile(unsigned i, const char* dst) const {
  std::string target;
  if (i >= m_entries.size() || m_name == nullptr || dst == nullptr || dst[0] == 0 ||
      !qvr::detail::NativePath(dst, target)) {
    return false;
  }
  // Writing over the archive itself would empty it before it is read.
  if (qvr::detail::SameFile(target.c_str(), m_name)) return false;
  const ArchiveEntry& entry = m_entries[i];
  std::unique_ptr<QVRResFile> source;
  if (entry.size != 0) {
    source.reset(OpenResFile(i));
    if (!source) return false;
  }
  QVRFile out(target.c_str(), QVRResFile::WRITE);
  if (!out.Good()) return false;
  unsigned copied = entry.size == 0 ? 0 : QVRFileUtils::CopyData(source.get(), &out, entry.size);
  bool ok = copied == entry.size && qvr::detail::FlushOk(out);
  out.Close();
  if (!ok) qvr::detail::FileDelete(target.c_str());  // no truncated copy is left behind
  return ok;
}

bool QVRArchive::ExtractAll(const char* dir) const {
  if (dir == nullptr || dir[0] == 0 || !QVRFileUtils::IsDir(dir)) return false;
  std::string prefix;
  if (!qvr::detail::NativePath(dir, prefix)) return false;
  if (prefix.back() != qvr::detail::kNativeSeparator) prefix += qvr::detail::kNativeSeparator;
  bool all = true;
  for (unsigned i = 0; i < m_entries.size(); ++i) {
    const char* name = m_entries[i].name;
    if (!IsSafeName(name)) {
      QVR::WARN("Archive: refusing to extract %s: the name leaves the target folder\n", name);
      all = false;
      continue;
    }
    std::string target;
    if (!qvr::detail::NativePath((prefix + name).c_str(), target)) {
      all = false;
      continue;
    }
    // Sub-folders named by the entry are made below the prefix, one level at
    // a time; the name was checked above, so none of them climbs out.
    bool folders = true;
    for (size_t k = prefix.size(); k < target.size() && folders; ++k) {
      if (target[k] != qvr::detail::kNativeSeparator) continue;
      std::string folder = target.substr(0, k);
      if (!QVRFileUtils::IsDir(folder.c_str())) folders = QVRFileUtils::DirCreate(folder.c_str());
    }
    if (!folders || !ExtractFile(i, target.c_str())) all = false;
  }
  return all;
}

// ---- Edits ----------------------------------------------------------------

bool QVRArchive::Create(const char* file) {
  std::string path, absolute;
  if (file == nullptr || file[0] == 0 || !qvr::detail::NativePath(file, path) ||
      !AbsoluteName(file, absolute) || QVRFileUtils::FileExist(path.c_str())) {
    return false;
  }
  QVRFile out(path.c_str(), QVRResFile::WRITE | QVRResFile::CREATE);
  if (!out.Good()) return false;
  uint8_t header[kHeaderSize];
  EncodeHeader(header, kHeaderSize, 0);
  bool ok = out.Write(header, kHeaderSize) == kHeaderSize && qvr::detail::FlushOk(out);
  out.Close();
  if (!ok) {
    qvr::detail::FileDelete(path.c_str());
    return false;
  }
  Close();
  m_name = QVRString::StringCopy(absolute.c_str());
  m_dataEnd = kHeaderSize;
  ReopenFile();
  return true;
}

unsigned QVRArchive::AddFile(const char* src, const char* name) {
  const char* given = name != nullptr ? name : src;
  unsigned nameLength = 0;
  const char* stored = given != nullptr ? NameRule(given, MaxNameLength(), nameLength) : nullptr;
  if (stored == nullptr) return NONE;
  return AppendFile(src, stored, nameLength);
}

unsigned QVRArchive::AddFileAs(const char* file, const char* storedName) {
  if (storedName == nullptr || storedName[0] == 0) return NONE;
  std::string stored = storedName;
  for (char& c : stored) {
    if (c == '\\') c = '/';
  }
  // Refused whole, never cut: a cut name would no longer say where the file
  // belongs.
  if (stored.back() == '/' || !IsSafeName(stored.c_str()) || stored.size() > MaxNameLength())
    return NONE;
  return AppendFile(file, stored.c_str(), static_cast<unsigned>(stored.size()));
}

unsigned QVRArchive::AppendFile(const char* src, const char* stored, unsigned nameLength) {
  std::string source;
  qvr::detail::StatInfo info;
  if (m_name == nullptr || src == nullptr || src[0] == 0 || !qvr::detail::NativePath(src, source) ||
      !qvr::detail::StatPath(source.c_str(), info) ||
      qvr::detail::SameFile(source.c_str(), m_name)) {
    return NONE;
  }
  uint64_t newDataEnd = static_cast<uint64_t>(m_dataEnd) + info.size;
  uint64_t newTotal = newDataEnd + static_cast<uint64_t>(m_entries.size() + 1) * RecordSize();
  if (newTotal > kEditLimit) return NONE;
  uint32_t size = static_cast<uint32_t>(info.size);

  QVRFile input(source.c_str(), QVRResFile::READ);
  if (!input.Good() || !QVRFileUtils::FileExist(m_name)) return NONE;
  QVRFile archive(m_name, QVRResFile::READWRITE);
  if (!archive.Good()) return NONE;

  // Claim the final length first, beyond everything the file holds now: when
  // the space is not there, this fails before a byte of the old directory has
  // been touched.
  archive.SeekEnd();
  uint64_t current = archive.GetPos();
  if (newTotal > current) {
    if (!archive.Seek(static_cast<int>(newTotal - 1), QVRResFile::SEEK_FROM_START) ||
        !archive.Write8(0) || !qvr::detail::FlushOk(archive)) {
      return NONE;
    }
  }

  // The data goes where the old directory starts, then the new directory
  // follows it and the header is rewritten last.
  ArchiveEntry entry;
  entry.index = static_cast<uint32_t>(m_entries.size());
  entry.name = StoreName(stored, nameLength);
  entry.size = size;
  entry.start = m_dataEnd;
  entry.date = HasDates() ? info.mtime : 0;
  bool ok = archive.Seek(static_cast<int>(m_dataEnd), QVRResFile::SEEK_FROM_START);
  if (ok && size != 0) ok = QVRFileUtils::CopyData(&input, &archive, size) == size;
  m_entries.push_back(entry);
  ok = ok && archive.Good() &&
       WriteDirectoryAt(archive, m_entries, static_cast<uint32_t>(newDataEnd)) &&
       qvr::detail::FlushOk(archive);
  archive.Close();
  if (ok) ok = SizeOnDisk(m_name) >= newTotal;
  if (!ok) {
    // Put the old directory back where it was; the bytes it covers are still
    // part of the file, so this needs no new space.
    m_entries.pop_back();
    m_nameBlocks.pop_back();
    QVRFile repair(m_name, QVRResFile::READWRITE);
    if (repair.Good()) {
      WriteDirectory(repair);
      repair.Flush();
    }
    return NONE;
  }
  m_dataEnd = static_cast<uint32_t>(newDataEnd);
  IndexEntry(entry.index);
  return entry.index;
}

bool QVRArchive::RebuildWith(unsigned target, const char* replacement, uint32_t replacementSize,
                             uint32_t replacementDate) {
  // The new layout: every kept entry's data back to back in directory order,
  // whatever order or gaps the old file had.
  std::vector<ArchiveEntry> next;
  next.reserve(m_entries.size());
  uint64_t position = kHeaderSize;
  for (unsigned k = 0; k < m_entries.size(); ++k) {
    if (k == target && replacement == nullptr) continue;
    const ArchiveEntry& old = m_entries[k];
    if (static_cast<uint64_t>(old.start) + old.size > kEditLimit) return false;
    ArchiveEntry entry = old;
    if (k == target) {
      entry.size = replacementSize;
      if (HasDates()) entry.date = replacementDate;
    }
    entry.start = static_cast<uint32_t>(position);
    entry.index = static_cast<uint32_t>(next.size());
    position += entry.size;
    if (position > kEditLimit) return false;
    next.push_back(entry);
  }
  uint64_t total = position + static_cast<uint64_t>(next.size()) * RecordSize();
  if (total > kEditLimit) return false;

  QVRFile input(m_name, QVRResFile::READ);
  if (!input.Good()) return false;
  QVRFile update;
  if (replacement != nullptr && !update.Open(replacement, QVRResFile::READ)) return false;
  QVRFile out;
  std::string temporary;
  if (!qvr::detail::CreateSibling(m_name, out, temporary)) return false;

  uint8_t blank[kHeaderSize] = {0};
  bool ok = out.Write(blank, kHeaderSize) == kHeaderSize;
  for (unsigned k = 0; k < m_entries.size() && ok; ++k) {
    if (k == target) {
      if (replacement != nullptr && replacementSize != 0)
        ok = QVRFileUtils::CopyData(&update, &out, replacementSize) == replacementSize;
      continue;
    }
    const ArchiveEntry& old = m_entries[k];
    if (old.size == 0) continue;
    ok = input.Seek(static_cast<int>(old.start), QVRResFile::SEEK_FROM_START) &&
         QVRFileUtils::CopyData(&input, &out, old.size) == old.size;
  }
  ok = ok && out.Good() && WriteDirectoryAt(out, next, static_cast<uint32_t>(position)) &&
       qvr::detail::FlushOk(out);
  out.Close();
  input.Close();
  update.Close();
  ok = ok && SizeOnDisk(temporary.c_str()) == total &&
       qvr::detail::ReplaceFile(temporary.c_str(), m_name);
  if (!ok) {
    qvr::detail::FileDelete(temporary.c_str());
    return false;
  }
  m_entries.swap(next);
  m_dataEnd = static_cast<uint32_t>(position);
  RebuildIndex();
  // The file kept open is the one just moved aside and deleted: streams
  // opened from now on read the new one. A failure here is tried again by
  // the next stream.
  ReopenFile();
  return true;
}

bool QVRArchive::RemoveFile(unsigned i) {
  if (i >= m_entries.size() || m_name == nullptr) return false;
  return RebuildWith(i, nullptr, 0, 0);
}

bool QVRArchive::UpdateFile(unsigned i, const char* src) {
  std::string source;
  qvr::detail::StatInfo info;
  if (i >= m_entries.size() || m_name == nullptr || src == nullptr || src[0] == 0 ||
      !qvr::detail::NativePath(src, source) || !qvr::detail::StatPath(source.c_str(), info) ||
      info.size > kEditLimit || qvr::detail::SameFile(source.c_str(), m_name)) {
    return false;
  }
  return RebuildWith(i, source.c_str(), static_cast<uint32_t>(info.size), info.mtime);
}

bool QVRArchive::RenameFile(unsigned i, const char* name) {
  if (i >= m_entries.size() || m_name == nullptr || name == nullptr || name[0] == 0) return false;
  unsigned nameLength = 0;
  const char* stored = NameRule(name, MaxNameLength(), nameLength);
  if (stored == nullptr || !QVRFileUtils::FileExist(m_name)) return false;
  char* previous = m_entries[i].name;
  m_entries[i].name = StoreName(stored, nameLength);
  bool ok;
  {
    QVRFile archive(m_name, QVRResFile::READWRITE);
    ok = archive.Good() && WriteDirectory(archive) && qvr::detail::FlushOk(archive);
  }
  if (!ok) {
    m_entries[i].name = previous;
    m_nameBlocks.pop_back();
    QVRFile repair(m_name, QVRResFile::READWRITE);
    if (repair.Good()) WriteDirectory(repair);
    return false;
  }
  RebuildIndex();
  return true;
}
