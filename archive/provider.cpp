// QVRFileProvider: the sort permutation shared by every listing, its
// quicksort, and the key comparison used by directories and archives.
#include <algorithm>
#include <cstring>
#include <vector>

#include "qvr3d/archive.h"
#include "qvr3d/fileutils.h"

namespace {

int Sign(int value) { return value < 0 ? -1 : value > 0 ? 1 : 0; }

// Three-way comparison of unsigned values; a plain difference would wrap for
// values 2^31 or more apart.
int CompareUnsigned(uint32_t a, uint32_t b) { return a < b ? -1 : a > b ? 1 : 0; }

unsigned char FoldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

}  // namespace

QVRFileProvider::QVRFileProvider()
    : m_sortKey(0), m_dirsFirst(false), m_descending(false), m_caseSensitive(false) {}

QVRFileProvider::~QVRFileProvider() = default;

void QVRFileProvider::Update() {}

void QVRFileProvider::Sort(int mode) {
  unsigned count = NbFiles();
  for (unsigned i = 0; i < count; ++i) GetItem(i)->index = i;
  m_sortKey = static_cast<uint8_t>(mode & SORT_KEY_MASK);
  if (m_sortKey == 0) return;
  m_dirsFirst = (mode & SORT_DIRS_FIRST) != 0;
  m_descending = (mode & SORT_DESCENDING) != 0;
  m_caseSensitive = (mode & SORT_CASE) != 0;
  if (count > 1) Sort(0, static_cast<int>(count - 1));
}

namespace {

// The classic partitioning with the last slot as pivot. The smaller side is
// sorted by recursion and the larger one by the loop, which yields the same
// permutation as recursing left first but bounds the stack depth by log2(n).
void PartitionSort(const QVRFileProvider& provider, int first, int last) {
  while (last > first) {
    const QVRSortableItem* pivot = provider.GetItem(provider.GetItem(last)->index);
    int i = first;
    int j = last - 1;
    for (;;) {
      while (provider.CompareFunc(provider.GetItem(provider.GetItem(i)->index), pivot) < 0) ++i;
      while (j > first &&
             provider.CompareFunc(provider.GetItem(provider.GetItem(j)->index), pivot) > 0) {
        --j;
      }
      if (i >= j) break;
      std::swap(provider.GetItem(i)->index, provider.GetItem(j)->index);
      ++i;
      --j;
    }
    std::swap(provider.GetItem(i)->index, provider.GetItem(last)->index);
    if (i - first < last - i) {
      PartitionSort(provider, first, i - 1);
      first = i + 1;
    } else {
      PartitionSort(provider, i + 1, last);
      last = i - 1;
    }
  }
}

}  // namespace

void QVRFileProvider::Sort(int first, int last) {
  if (last <= first) return;
  // When no two items compare equal there is exactly one sorted order, which
  // the partitioning would reach too; finding it with std::sort avoids the
  // partitioning's quadratic time on listings that are already in order
  // (a common case for archives). With ties, the partitioning alone decides
  // where equal items end up.
  std::vector<uint32_t> order;
  order.reserve(static_cast<size_t>(last - first) + 1);
  for (int k = first; k <= last; ++k) order.push_back(GetItem(k)->index);
  auto less = [this](uint32_t a, uint32_t b) { return CompareFunc(GetItem(a), GetItem(b)) < 0; };
  std::sort(order.begin(), order.end(), less);
  bool strict = true;
  for (size_t k = 1; k < order.size() && strict; ++k) strict = less(order[k - 1], order[k]);
  if (!strict) {
    PartitionSort(*this, first, last);
    return;
  }
  for (int k = first; k <= last; ++k) GetItem(k)->index = order[static_cast<size_t>(k - first)];
}

unsigned QVRFileProvider::SortedIndex(unsigned i) const { return GetItem(i)->index; }

int QVRFileProvider::CompareNames(const char* a, const char* b) const {
  if (a == nullptr) a = "";
  if (b == nullptr) b = "";
  if (m_caseSensitive) return Sign(std::strcmp(a, b));
  const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
  while (*x != 0 && FoldAscii(*x) == FoldAscii(*y)) {
    ++x;
    ++y;
  }
  return CompareUnsigned(FoldAscii(*x), FoldAscii(*y));
}

int QVRFileProvider::CompareItems(const char* nameA, uint32_t sizeA, uint32_t dateA, bool dirA,
                                  const char* nameB, uint32_t sizeB, uint32_t dateB, bool dirB,
                                  bool useDirs) const {
  // Grouping directories first is not reversed by the descending option.
  if (useDirs && m_dirsFirst && dirA != dirB) return dirA ? -1 : 1;
  int result = 0;
  switch (m_sortKey) {
    case SORT_SIZE:
      result = CompareUnsigned(sizeA, sizeB);
      break;
    case SORT_DATE:
      result = CompareUnsigned(dateA, dateB);
      break;
    case SORT_EXT: {
      const char* extA = QVRFileUtils::FileExtension(nameA);
      const char* extB = QVRFileUtils::FileExtension(nameB);
      if (extA == nullptr || extB == nullptr) {
        result = (extB == nullptr ? 1 : 0) - (extA == nullptr ? 1 : 0);
      } else {
        result = CompareNames(extA, extB);
      }
      break;
    }
    default:
      break;
  }
  if (result == 0) result = CompareNames(nameA, nameB);
  return m_descending ? -result : result;
}
