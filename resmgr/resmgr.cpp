// QVRResMgr: a table of records sorted byte-wise by name, searched by
// bisection and growing by doubling, with a hash index over the same records
// for the by-name lookups of the hot path; loaders in an array indexed by
// type.
#include "qvr3d/resmgr.h"

#include <cstring>

#include "qvr3d/core.h"
#include "qvr3d/music.h"
#include "qvr3d/resfinder.h"
#include "qvr3d/resource.h"
#include "qvr3d/stream.h"

namespace {

constexpr uint32_t kInitialAlloc = 4;
constexpr uint32_t kMinIndexSlots = 16;
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

uint32_t HashName(const char* name) {
  uint32_t hash = 2166136261u;  // FNV-1a
  for (const char* p = name; *p != 0; ++p) {
    hash ^= static_cast<uint8_t>(*p);
    hash *= 16777619u;
  }
  return hash;
}

}  // namespace

QVRResMgr::QVRResMgr(const QVRResFinder& finder)
    : m_count(0),
      m_alloc(kInitialAlloc),
      m_table(new QVRResEntry*[kInitialAlloc]()),
      m_index(new QVRResEntry*[kMinIndexSlots]()),
      m_indexMask(kMinIndexSlots - 1),
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
    QVRResEntry* entry = m_table[i];
    delete entry->resource;
    // A stream the manager held for the resource goes after it.
    delete entry->stream;
    delete[] entry->name;
    delete entry;
  }
  delete[] m_table;
  delete[] m_index;
  delete[] m_loaders;
}

// ---- The name index --------------------------------------------------------
// Linear probing over at least twice as many slots as records; removal
// shifts the following run back, so no tombstones build up.

QVRResEntry* QVRResMgr::Lookup(const char* name) const {
  if (name == nullptr || name[0] == 0) return nullptr;
  const uint32_t hash = HashName(name);
  for (uint32_t slot = hash & m_indexMask; m_index[slot] != nullptr;
       slot = (slot + 1) & m_indexMask) {
    QVRResEntry* entry = m_index[slot];
    if (entry->hash == hash && std::strcmp(entry->name, name) == 0) return entry;
  }
  return nullptr;
}

void QVRResMgr::IndexInsert(QVRResEntry* entry) {
  if (2 * (m_count + 1) > m_indexMask + 1) {
    const uint32_t slots = 2 * (m_indexMask + 1);
    delete[] m_index;
    m_index = new QVRResEntry*[slots]();
    m_indexMask = slots - 1;
    // Everything already in the table (the new record is not yet in it).
    for (uint32_t i = 0; i < m_count; ++i) {
      uint32_t slot = m_table[i]->hash & m_indexMask;
      while (m_index[slot] != nullptr) slot = (slot + 1) & m_indexMask;
      m_index[slot] = m_table[i];
    }
  }
  uint32_t slot = entry->hash & m_indexMask;
  while (m_index[slot] != nullptr) slot = (slot + 1) & m_indexMask;
  m_index[slot] = entry;
}

void QVRResMgr::IndexErase(const QVRResEntry* entry) {
  uint32_t slot = entry->hash & m_indexMask;
  while (m_index[slot] != entry) {
    if (m_index[slot] == nullptr) return;
    slot = (slot + 1) & m_indexMask;
  }
  m_index[slot] = nullptr;
  // Move back every record of the run that the hole would now hide.
  for (uint32_t next = (slot + 1) & m_indexMask; m_index[next] != nullptr;
       next = (next + 1) & m_indexMask) {
    const uint32_t home = m_index[next]->hash & m_indexMask;
    const bool between =
        slot <= next ? (slot < home && home <= next) : (slot < home || home <= next);
    if (between) continue;
    m_index[slot] = m_index[next];
    m_index[next] = nullptr;
    slot = next;
  }
}

// ---- Table operations ------------------------------------------------------

bool QVRResMgr::FindRes(const char* name, unsigned int& pos) const {
  if (name == nullptr || name[0] == 0) return false;
  int64_t lo = 0;
  int64_t hi = static_cast<int64_t>(m_count) - 1;
  pos = 0;
  while (hi >= lo) {
    const int64_t mid = (lo + hi) / 2;
    pos = static_cast<unsigned>(mid);
    const int c = CompareNames(name, m_table[mid]->name);
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
  if (QVRResEntry* entry = Lookup(name)) {
    if (entry->type != type) return nullptr;
    ++entry->references;
    return entry->resource;
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
    unsigned pos = 0;
    FindRes(name, pos);
    PrivateAdd(pos, type, name, res);
    m_table[pos]->keepsStream = keepStream;
  }
  return res;
}

QVRResource* QVRResMgr::Get(const char* name) {
  QVRResEntry* entry = Lookup(name);
  if (entry == nullptr) return nullptr;
  ++entry->references;
  return entry->resource;
}

bool QVRResMgr::Add(unsigned int type, const char* name, QVRResource* res) {
  if (name == nullptr || name[0] == 0 || Lookup(name) != nullptr) return false;
  unsigned pos = 0;
  FindRes(name, pos);
  PrivateAdd(pos, type, name, res);
  return true;
}

bool QVRResMgr::Release(const char* name) {
  if (m_count == 0) return false;
  QVRResEntry* entry = Lookup(name);
  if (entry == nullptr) return false;
  if (--entry->references == 0) {
    unsigned pos = 0;
    FindRes(name, pos);
    PrivateRemove(pos, true);
  }
  return true;
}

bool QVRResMgr::Release(QVRResource* res) {
  if (res == nullptr || m_count == 0) return false;
  for (uint32_t i = 0; i < m_count; ++i) {
    if (m_table[i]->resource == res) {
      if (--m_table[i]->references == 0) PrivateRemove(i, true);
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
  if (m_count == 0) return false;
  QVRResEntry* entry = Lookup(name);
  return entry != nullptr && ReloadEntry(*entry);
}

bool QVRResMgr::ReloadType(unsigned int type) {
  if (type >= m_nbLoaders) return false;
  bool result = true;
  for (uint32_t i = 0; i < m_count; ++i) {
    QVRResEntry& entry = *m_table[i];
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
    auto** grown = new QVRResEntry*[alloc]();  // the new half zero-filled
    std::memcpy(grown, m_table, m_count * sizeof *m_table);
    delete[] m_table;
    m_table = grown;
    m_alloc = alloc;
  }
  if (pos > m_count) pos = m_count;
  auto* entry = new QVRResEntry{type, 1, CopyName(name), res, false, nullptr, HashName(name)};
  IndexInsert(entry);
  std::memmove(m_table + pos + 1, m_table + pos, (m_count - pos) * sizeof *m_table);
  m_table[pos] = entry;
  ++m_count;
}

void QVRResMgr::PrivateRemove(unsigned int pos, bool destroy) {
  if (pos >= m_count) return;
  QVRResEntry* entry = m_table[pos];
  IndexErase(entry);
  if (destroy) delete entry->resource;
  delete entry->stream;
  delete[] entry->name;
  delete entry;
  --m_count;
  std::memmove(m_table + pos, m_table + pos + 1, (m_count - pos) * sizeof *m_table);
  m_table[m_count] = nullptr;
}

void QVRResMgr::PrintContent() const {
  QVR::LOG("Resource Manager : (%d entries, %d alloc)\n", static_cast<int>(m_count),
           static_cast<int>(m_alloc));
  for (uint32_t i = 0; i < m_count; ++i) {
    const QVRResEntry& entry = *m_table[i];
    QVR::LOG("- %3d [type %2d] %s (%d)\n", static_cast<int>(i), static_cast<int>(entry.type),
             entry.name, static_cast<int>(entry.references));
  }
}
