// QVRScore: ranked high-score table and its file.
//
// Score file, little-endian:
//   0   magic 0x01020304 (bytes 04 03 02 01)
//   4   version, 1 byte (3 written)
//   5   size: number of records      9   order (0 highest first)
//   13  names inverted, 1 byte: 0 or 1 (only when version >= 3)
//   14  size records (13 before version 3): 20-byte name, score, level
// An inverted name is stored with every byte complemented, then a 0.
#include "io/le.h"
#include "qvr3d/score.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "qvr3d/core.h"
#include "qvr3d/parse.h"
#include "qvr3d/stream.h"

namespace {

constexpr uint32_t kMagic = 0x01020304u;
constexpr uint8_t kVersion = 3;
constexpr unsigned kRecordSize = 28;
constexpr unsigned kMinSize = 3;

// True when `a` ranks strictly before `b` in the direction `order`.
bool Beats(int32_t a, int32_t b, int order) { return order == 0 ? a > b : a < b; }

bool IsEmpty(const QVRScoreEntry& e) { return e.name[0] == 0; }

// Complementing a 0xFF byte gives the terminator, so such a name cannot be
// stored inverted without being cut.
bool Invertible(const QVRScoreEntry& e) {
  return std::memchr(e.name, 0xFF, std::strlen(e.name)) == nullptr;
}

}  // namespace

QVRScore::QVRScore(unsigned int size, SortOrder order, int score)
    : m_entries(nullptr), m_size(0), m_order(order) {
  if (size == 0) return;
  m_size = std::max(size, kMinSize);
  m_entries = new QVRScoreEntry[m_size];
  Reset(score);
}

QVRScore::~QVRScore() { delete[] m_entries; }

unsigned int QVRScore::Length() const {
  unsigned int n = 0;
  while (n < m_size && !IsEmpty(m_entries[n])) ++n;
  return n;
}

const QVRScoreEntry* QVRScore::Entry(unsigned int rank) const {
  return rank < m_size ? &m_entries[rank] : nullptr;
}

void QVRScore::Reset(int score) {
  for (unsigned int i = 0; i < m_size; ++i) {
    std::memset(&m_entries[i], 0, sizeof(QVRScoreEntry));
    m_entries[i].score = score;
  }
}

void QVRScore::SetSortOrder(SortOrder order) {
  if (order == m_order) return;
  m_order = order;
  if (m_entries && m_size >= 2) std::reverse(m_entries, m_entries + m_size);
}

void QVRScore::Resize(unsigned int size) {
  if (size == m_size) return;
  size = std::max(size, kMinSize);
  QVRScoreEntry* entries = new (std::nothrow) QVRScoreEntry[size];
  if (!entries) return;
  std::memset(static_cast<void*>(entries), 0, size * sizeof(QVRScoreEntry));
  if (m_entries) std::copy(m_entries, m_entries + std::min(m_size, size), entries);
  delete[] m_entries;
  m_entries = entries;
  m_size = size;
}

int QVRScore::Add(QVRScoreEntry* entry) {
  if (!entry || !m_entries || m_size == 0) return -1;
  const long long last = static_cast<long long>(m_size) - 1;
  // Empty slots carry their initial score and compete like filled ones.
  if (!Beats(entry->score, m_entries[last].score, m_order)) return -1;
  long long i = last;
  while (i >= 0 && Beats(entry->score, m_entries[i].score, m_order)) --i;
  const long long rank = i + 1;
  std::copy_backward(m_entries + rank, m_entries + last, m_entries + last + 1);
  m_entries[rank] = *entry;
  m_entries[rank].name[sizeof entry->name - 1] = 0;
  return static_cast<int>(rank);
}

bool QVRScore::Load(const char* file) {
  QVRFile stream(file, QVRResFile::READ);
  return stream.Good() && Load(stream);
}

bool QVRScore::Load(QVRResFile& stream) {
  if (!stream.Good() || stream.Read32() != kMagic || !stream.Good()) return false;
  const uint8_t version = stream.Read8();
  const uint32_t size = stream.Read32();
  const int32_t order = static_cast<int32_t>(stream.Read32());
  const uint8_t inverted = version >= 3 ? stream.Read8() : 0;
  if (!stream.Good()) return false;

  // Records are collected as they arrive, so a size the file cannot back
  // costs no more memory than the bytes that are really there.
  std::vector<QVRScoreEntry> records;
  records.reserve(std::min<uint32_t>(size, 1024));
  unsigned char bytes[kRecordSize];
  while (records.size() < size && stream.Read(bytes, kRecordSize) == kRecordSize) {
    QVRScoreEntry e;
    std::memcpy(e.name, bytes, sizeof e.name);
    e.name[sizeof e.name - 1] = 0;
    e.score = static_cast<int32_t>(qvr::detail::Get32(bytes + 20));
    e.level = static_cast<int32_t>(qvr::detail::Get32(bytes + 24));
    if (inverted == 1 && !IsEmpty(e)) QVRParse::Obfuscate(e.name, e.name);
    records.push_back(e);
  }

  QVRScoreEntry* entries = nullptr;
  if (!records.empty()) {
    entries = new (std::nothrow) QVRScoreEntry[records.size()];
    if (!entries) return false;
    std::copy(records.begin(), records.end(), entries);
  }
  delete[] m_entries;
  m_entries = entries;
  m_size = static_cast<uint32_t>(records.size());
  m_order = static_cast<SortOrder>(order);
  return records.size() == size;
}

bool QVRScore::Save(const char* file, bool invert) const {
  if (!m_entries) return false;
  QVRFile stream(file, QVRResFile::WRITE);
  return stream.Good() && Save(stream, invert);
}

bool QVRScore::Save(QVRResFile& stream, bool invert) const {
  if (!m_entries || !stream.Good()) return false;
  // A name holding a 0xFF byte would come back cut: then the whole file
  // keeps plain names rather than lose part of one.
  for (unsigned int i = 0; invert && i < m_size; ++i) {
    if (!Invertible(m_entries[i])) invert = false;
  }
  bool ok = stream.Write32(kMagic) && stream.Write8(kVersion) && stream.Write32(m_size) &&
            stream.Write32(static_cast<uint32_t>(m_order)) && stream.Write8(invert ? 1 : 0);
  for (unsigned int i = 0; ok && i < m_size; ++i) {
    const QVRScoreEntry& e = m_entries[i];
    // Only the name itself: whatever follows its terminator is written as 0.
    char name[sizeof e.name] = {0};
    for (size_t k = 0; k + 1 < sizeof e.name && e.name[k]; ++k) name[k] = e.name[k];
    if (invert && !IsEmpty(e)) QVRParse::Obfuscate(name, name);
    ok = stream.Write(name, sizeof e.name) == sizeof e.name &&
         stream.Write32(static_cast<uint32_t>(e.score)) &&
         stream.Write32(static_cast<uint32_t>(e.level));
  }
  return ok;
}

void QVRScore::PrintInfo() const {
  QVR::LOG("Score table (%d entries) (name/level/score):\n", static_cast<int>(m_size));
  for (unsigned int i = 0; i < m_size; ++i) {
    const QVRScoreEntry& e = m_entries[i];
    QVR::LOG("[%3d] %32s %3d %8d\n", static_cast<int>(i), e.name, static_cast<int>(e.level),
             static_cast<int>(e.score));
  }
}
