// QVRResMgr: a table of records sorted byte-wise by name, searched by
// bisection, growing by doubling; loaders kept in an array indexed by type.
#include "qvr3d/resmgr.h"

#include <cstring>
#include <new>

#include "qvr3d/core.h"
#include "qvr3d/music.h"
#include "qvr3d/resfinder.h"
#include "qvr3d/resource.h"
#include "qvr3d/stream.h"

namespace {

constexpr uint32_t kInitialAlloc = 4;
constexpr unsigned kNone = 0xFFFFFFFFu;

char* CopyName(const char* name) {
  const size_t length = std::strlen(name);
  char* copy = new char[length + 1];
  std::memcpy(copy, name, length + 1);
  return copy;
}

// Byte-wise order, as memcmp ranks bytes: "Zebra" before "apple".
int CompareNames(const char* a, const char* b) {
  const auto* x = reinterpret_cast<const unsigned char*>(a);
  const auto* y = reinterpret_cast<const unsigned char*>(b);
  while (*x != 0 && *x == *y) {
    ++x;
    ++y;
  }
  return static_cast<int>(*x) - static_cast<int>(*y);
}

}  // namespace

QVRResMgr::QVRResMgr(const QVRResFinder& finder)
    : m_count(0),
      m_alloc(kInitialAlloc),
      m_table(new QVRResEntry[kInitialAlloc]()),
      m_loaders(nullptr),
      m_nbLoaders(0),
      m_loaderAlloc(0),
      m_finder(&finder) {
  RegisterLoader(QVRResLoaders::Image);
  RegisterLoader(QVRResLoaders::Palette);
  RegisterLoader(QVRResLoaders::Font);
  RegisterLoader(QVRResLoaders::Text);
  RegisterLoader(QVRResLoaders::Sound);
  RegisterLoader(QVRResLoaders::Music);
  RegisterLoader(QVRResLoaders::GLFont);
}

QVRResMgr::~QVRResMgr() {
  for (uint32_t i = 0; i < m_count; ++i) {
    delete m_table[i].resource;
    delete m_table[i].stream;
    delete[] m_table[i].name;
  }
  delete[] m_table;
  delete[] m_loaders;
}

bool QVRResMgr::FindRes(const char* name, unsigned int& pos) const {
  if (name == nullptr || name[0] == 0) return false;
  int64_t lo = 0;
  int64_t hi = static_cast<int64_t>(m_count) - 1;
  pos = 0;
  while (hi >= lo) {
    const int64_t mid = (lo + hi) / 2;
    pos = static_cast<unsigned>(mid);
    const int c = CompareNames(name, m_table[mid].name);
    if (c == 0) return true;
    if (c < 0) {
      hi = mid - 1;
    } else {
      lo = mid + 1;
    }
  }
  pos = static_cast<unsigned>(lo);
  return false;
}

QVRResource* QVRResMgr::Load(unsigned int type, const char* name, int param, bool add) {
  if (name == nullptr || name[0] == 0 || type >= m_nbLoaders) return nullptr;
  unsigned pos = 0;
  if (FindRes(name, pos)) {
    QVRResEntry& entry = m_table[pos];
    if (entry.type != type) return nullptr;
    ++entry.references;
    return entry.resource;
  }
  QVRResFile* stream = m_finder->FindRes(name);
  if (stream == nullptr) return nullptr;
  bool keepStream = false;
  QVRResource* res = m_loaders[type](stream, name, param, keepStream);
  // A kept stream belongs to the resource from the call on, whatever the
  // outcome: the loader's resource deleted it along with itself on failure.
  if (!keepStream) delete stream;
  if (res == nullptr) {
    QVR::WARN("ResMgr: can not load %s (type %d)\n", name, static_cast<int>(type));
    return nullptr;
  }
  if (add) {
    PrivateAdd(pos, type, name, res);
    m_table[pos].keepsStream = keepStream;
  }
  return res;
}

QVRResource* QVRResMgr::Get(const char* name) {
  unsigned pos = 0;
  if (!FindRes(name, pos)) return nullptr;
  ++m_table[pos].references;
  return m_table[pos].resource;
}

bool QVRResMgr::Add(unsigned int type, const char* name, QVRResource* res) {
  unsigned pos = 0;
  if (name == nullptr || name[0] == 0 || FindRes(name, pos)) return false;
  PrivateAdd(pos, type, name, res);
  return true;
}

bool QVRResMgr::Release(const char* name) {
  unsigned pos = 0;
  if (m_count == 0 || !FindRes(name, pos)) return false;
  if (--m_table[pos].references == 0) PrivateRemove(pos, true);
  return true;
}

bool QVRResMgr::Release(QVRResource* res) {
  if (res == nullptr || m_count == 0) return false;
  for (uint32_t i = 0; i < m_count; ++i) {
    if (m_table[i].resource == res) {
      if (--m_table[i].references == 0) PrivateRemove(i, true);
      return true;
    }
  }
  return false;
}

bool QVRResMgr::ReloadEntry(QVRResEntry& entry) {
  QVRResFile* stream = m_finder->FindRes(entry.name);
  if (stream == nullptr) return false;
  // Music goes on reading from its stream after Load: it takes the new one
  // over and lets go of the old. Any other resource whose loader kept its
  // stream reads from one the manager holds in the record until the next
  // reload or the release.
  if (auto* music = dynamic_cast<QVRMusic*>(entry.resource)) return music->LoadOwned(stream, 0);
  const bool ok = entry.resource->Load(*stream, 0);
  if (entry.keepsStream) {
    delete entry.stream;
    entry.stream = stream;
  } else {
    delete stream;
  }
  return ok;
}

bool QVRResMgr::Reload(const char* name) {
  unsigned pos = 0;
  if (m_count == 0 || !FindRes(name, pos)) return false;
  return ReloadEntry(m_table[pos]);
}

bool QVRResMgr::ReloadType(unsigned int type) {
  if (type >= m_nbLoaders) return false;
  bool result = true;
  for (uint32_t i = 0; i < m_count; ++i) {
    QVRResEntry& entry = m_table[i];
    if (entry.resource == nullptr || entry.type != type) continue;
    result = ReloadEntry(entry);
  }
  return result;
}

unsigned int QVRResMgr::RegisterLoader(QVRResLoader loader) {
  if (loader == nullptr) return kNone;
  if (m_nbLoaders == m_loaderAlloc) {
    const uint32_t alloc = m_loaderAlloc == 0 ? 8 : m_loaderAlloc * 2;
    auto* grown = new QVRResLoader[alloc]();
    if (m_nbLoaders != 0) std::memcpy(grown, m_loaders, m_nbLoaders * sizeof *m_loaders);
    delete[] m_loaders;
    m_loaders = grown;
    m_loaderAlloc = alloc;
  }
  m_loaders[m_nbLoaders] = loader;
  return m_nbLoaders++;
}

bool QVRResMgr::ChangeLoader(unsigned int type, QVRResLoader loader) {
  if (type >= m_nbLoaders || loader == nullptr) return false;
  m_loaders[type] = loader;
  return true;
}

void QVRResMgr::PrivateAdd(unsigned int pos, unsigned int type, const char* name,
                           QVRResource* res) {
  if (m_count == m_alloc) {
    const uint32_t alloc = m_alloc * 2;
    auto* grown = new QVRResEntry[alloc]();  // the new half zero-filled
    std::memcpy(grown, m_table, m_count * sizeof *m_table);
    delete[] m_table;
    m_table = grown;
    m_alloc = alloc;
  }
  if (pos > m_count) pos = m_count;
  std::memmove(m_table + pos + 1, m_table + pos, (m_count - pos) * sizeof *m_table);
  m_table[pos] = QVRResEntry{type, 1, CopyName(name), res, false, nullptr};
  ++m_count;
}

void QVRResMgr::PrivateRemove(unsigned int pos, bool destroy) {
  if (pos >= m_count) return;
  QVRResEntry& entry = m_table[pos];
  delete[] entry.name;
  if (destroy) delete entry.resource;
  // A stream the manager held for the resource goes after it.
  delete entry.stream;
  --m_count;
  std::memmove(m_table + pos, m_table + pos + 1, (m_count - pos) * sizeof *m_table);
  m_table[m_count] = QVRResEntry{};
}

void QVRResMgr::PrintContent() const {
  QVR::LOG("Resource Manager : (%d entries, %d alloc)\n", static_cast<int>(m_count),
           static_cast<int>(m_alloc));
  for (uint32_t i = 0; i < m_count; ++i) {
    QVR::LOG("- %3d [type %2d] %s (%d)\n", static_cast<int>(i), static_cast<int>(m_table[i].type),
             m_table[i].name, static_cast<int>(m_table[i].references));
  }
}
