// QVRDir: the listing of one local directory with its absolute path, moves
// up, to the root and to the current directory, and file opening and copying
// relative to that path.
#include <cstring>
#include <memory>
#include <string>

#include "archive/fsutil.h"
#include "io/platform.h"
#include "qvr3d/archive.h"
#include "qvr3d/core.h"
#include "qvr3d/fileutils.h"
#include "qvr3d/stream.h"

namespace {

using qvr::detail::IsSeparator;

// The current directory, remembered so that it can be restored after a
// listing has entered another one.
struct SavedCwd {
  char path[qvr::detail::kPathMax];
  bool valid;
  SavedCwd() { valid = QVRFileUtils::GetCWD(path, sizeof path); }
  void Restore() const {
    if (valid) QVRFileUtils::SetCWD(path);
  }
};

char* CopyName(const std::string& name) {
  char* copy = new char[name.size() + 1];
  std::memcpy(copy, name.c_str(), name.size() + 1);
  return copy;
}

}  // namespace

QVRDir::QVRDir(const char* name) : m_subdirs(0) {
  if (name == nullptr || name[0] == 0 || std::strcmp(name, ".") == 0) {
    ListCurrentDir();
    return;
  }
  SavedCwd saved;
  if (!QVRFileUtils::SetCWD(name)) {
    ListCurrentDir();
    return;
  }
  char current[qvr::detail::kPathMax];
  bool listed = QVRFileUtils::GetCWD(current, sizeof current);
  if (listed) {
    m_path = current;
    listed = GetContent();
  }
  saved.Restore();
  if (!listed) ListCurrentDir();
}

QVRDir::~QVRDir() { Clear(); }

bool QVRDir::ListCurrentDir() {
  char* cwd = QVRFileUtils::GetCWD();
  m_path = cwd;
  delete[] cwd;
  return GetContent();
}

bool QVRDir::Enter(const char* name, bool relativeToPath) {
  SavedCwd saved;
  if (relativeToPath && m_path.Length() != 0 && !QVRFileUtils::SetCWD(m_path.Text())) {
    saved.Restore();
    return false;
  }
  char current[qvr::detail::kPathMax];
  if (!QVRFileUtils::SetCWD(name) || !QVRFileUtils::GetCWD(current, sizeof current)) {
    saved.Restore();
    return false;
  }
  m_path = current;
  bool result = GetContent();
  saved.Restore();
  return result;
}

bool QVRDir::Open(const char* name) {
  if (name == nullptr || name[0] == 0) return false;
  if (std::strcmp(name, ".") == 0) {
    if (m_path.Length() == 0) {
      ListCurrentDir();
    } else {
      Update();
    }
    return true;
  }
  return Enter(name, QVRFileUtils::IsRelative(name));
}

const char* QVRDir::Name() const { return m_path.Text(); }

unsigned QVRDir::NbFiles() const { return static_cast<unsigned>(m_entries.size()); }

void QVRDir::Update() {
  SavedCwd saved;
  if (m_path.Length() != 0 && QVRFileUtils::SetCWD(m_path.Text())) GetContent();
  saved.Restore();
}

void QVRDir::Clear() {
  for (DirEntry& entry : m_entries) delete[] entry.name;
  m_entries.clear();
  m_subdirs = 0;
}

bool QVRDir::GetContent() {
  if (m_path.Length() == 0) return false;
  std::string pattern;
  if (!qvr::detail::JoinPath(m_path.Text(), "*", pattern)) return false;
  Clear();
  qvr::detail::FindData found;
  qvr::detail::FindHandle* search = qvr::detail::FindFirst(pattern.c_str(), found);
  if (search == nullptr) return false;
  // One pass: the entries are collected as they are found, each examined by
  // its full name so the result does not depend on the current directory.
  do {
    std::string full;
    qvr::detail::StatInfo info;
    if (!qvr::detail::JoinPath(m_path.Text(), found.name.c_str(), full) ||
        !qvr::detail::StatPath(full.c_str(), info)) {
      continue;
    }
    DirEntry entry;
    entry.index = static_cast<uint32_t>(m_entries.size());
    entry.name = CopyName(found.name);
    entry.attributes = info.mode;
    if (found.attributes & qvr::detail::ATTR_HIDDEN) entry.attributes |= ATTR_HIDDEN;
    entry.size = info.size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(info.size);
    entry.date = info.mtime;
    if (info.mode & ATTR_DIR) ++m_subdirs;
    m_entries.push_back(entry);
  } while (qvr::detail::FindNext(search, found));
  qvr::detail::FindClose(search);
  return true;
}

void QVRDir::GoUp() {
  if (m_path.Length() == 0 || QVRFileUtils::IsRoot(m_path.Text())) return;
  std::string path = m_path.Text();
  size_t cut = std::string::npos;
  for (size_t k = path.size(); k-- > 0;) {
    if (IsSeparator(path[k])) {
      cut = k;
      break;
    }
  }
  if (cut == std::string::npos) {
    Open(path.c_str());
    return;
  }
  if (path.size() >= 3 && path[1] == ':' && IsSeparator(path[2]) && cut < 3) {
    cut = 3;  // keep the drive root "C:\"
  } else if (IsSeparator(path[0])) {
    // The root separator itself stays: "/games" goes up to "/", "//host" to "//".
    bool doubled = path.size() > 1 && IsSeparator(path[1]);
    if (cut == 0 || (doubled && cut == 1)) cut = doubled ? 2 : 1;
  }
  if (cut < path.size()) path.resize(cut);
  if (!path.empty()) Open(path.c_str());
}

void QVRDir::GoRoot() {
  if (m_path.Length() == 0) return;
  char first = m_path.Char(0);
  if ((first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z')) {
    const char root[4] = {first, ':', '\\', 0};
    Open(root);
  } else if (IsSeparator(first)) {
    // "/" or a network root "//", written with the native separator.
    const char sep = qvr::detail::kNativeSeparator;
    const char root[3] = {sep, IsSeparator(m_path.Char(1)) ? sep : '\0', 0};
    Open(root);
  }
}

void QVRDir::GoCWD() { ListCurrentDir(); }

bool QVRDir::IsEmpty() const { return m_entries.size() == 2 && m_subdirs == 2; }

QVRResFile* QVRDir::OpenFile(const char* name) const {
  std::string full;
  if (name == nullptr || name[0] == 0 || !qvr::detail::JoinPath(m_path.Text(), name, full))
    return nullptr;
  std::unique_ptr<QVRFile> file(new QVRFile(full.c_str(), QVRResFile::READ));
  if (!file->Good()) return nullptr;
  return file.release();
}

QVRResFile* QVRDir::OpenFile(const iterator& it) const {
  unsigned i = it.GetPos();
  if (i >= m_entries.size()) return nullptr;
  return OpenFile(m_entries[i].name);
}

bool QVRDir::CopyFile(const char* src, const char* dst) const {
  std::string from, to;
  if (src == nullptr || dst == nullptr || src[0] == 0 || dst[0] == 0 ||
      !qvr::detail::JoinPath(m_path.Text(), src, from) ||
      !qvr::detail::JoinPath(m_path.Text(), dst, to)) {
    return false;
  }
  // Opening the target for writing empties it, which would destroy a source
  // that is the same file.
  if (qvr::detail::SameFile(from.c_str(), to.c_str())) return false;
  QVRFile source(from.c_str(), QVRResFile::READ);
  if (!source.Good()) return false;
  source.SeekEnd();
  unsigned size = source.GetPos();
  source.SeekStart();
  QVRFile target(to.c_str(), QVRResFile::WRITE);
  if (!target.Good()) return false;
  unsigned copied = size == 0 ? 0 : QVRFileUtils::CopyData(&source, &target, size);
  return copied == size && qvr::detail::FlushOk(target);
}

void QVRDir::PrintInfo() const {
  QVR::LOG("Path: %s\nTotal entries : %d  (%d subdirs)\n", m_path.Text() ? m_path.Text() : "(null)",
           static_cast<int>(m_entries.size()), static_cast<int>(m_subdirs));
  for (const DirEntry& entry : m_entries) {
    QVR::LOG("  %-40s   %6d bytes   date=%10d   R(%3d)\n", entry.name, static_cast<int>(entry.size),
             static_cast<int>(entry.date), static_cast<int>(entry.index));
  }
  QVR::LOG("\n");
}

const char* QVRDir::FileName(unsigned i) const { return m_entries[i].name; }
unsigned QVRDir::FileSize(unsigned i) const { return m_entries[i].size; }
unsigned long QVRDir::FileDate(unsigned i) const { return m_entries[i].date; }
bool QVRDir::FileAccess(unsigned i, unsigned mask) const {
  return (m_entries[i].attributes & mask) == mask;
}
bool QVRDir::IsFileHidden(unsigned i) const { return (m_entries[i].attributes & ATTR_HIDDEN) != 0; }
bool QVRDir::IsFile(unsigned i) const { return (m_entries[i].attributes & ATTR_FILE) != 0; }
bool QVRDir::IsFileLink(unsigned) const { return false; }
bool QVRDir::IsFileDir(unsigned i) const { return (m_entries[i].attributes & ATTR_DIR) != 0; }

int QVRDir::CompareFunc(const QVRSortableItem* a, const QVRSortableItem* b) const {
  const DirEntry* x = static_cast<const DirEntry*>(a);
  const DirEntry* y = static_cast<const DirEntry*>(b);
  return CompareItems(x->name, x->size, x->date, (x->attributes & ATTR_DIR) != 0, y->name, y->size,
                      y->date, (y->attributes & ATTR_DIR) != 0, true);
}

QVRSortableItem* QVRDir::GetItem(unsigned i) const { return &m_entries[i]; }

QVRDir::QVRDir(Unlisted) : m_subdirs(0) {}
