// QVRArchPAK: header and directory of Quake 1/2 PAK archives.
//
//   0  "PACK"   4  directory offset D   8  directory length L
//   D  L / 64 records of 64 bytes: name[56] (zero-padded; 56 characters
//      leave no terminator), start, size
// All integers are 32-bit little-endian. The format stores no dates. Files
// written elsewhere may order their data freely and leave gaps; the data end
// is the furthest byte any entry uses.
#include <cstring>
#include <string>
#include <vector>

#include "io/le.h"
#include "io/platform.h"
#include "qvr3d/archive.h"
#include "qvr3d/stream.h"

namespace {

using qvr::detail::Get32;
using qvr::detail::Put32;

constexpr unsigned kRecordSize = 64;
constexpr unsigned kNameField = 56;
constexpr uint32_t kHeaderSize = 12;

}  // namespace

QVRArchPAK::QVRArchPAK() : QVRArchive(FORMAT_PAK) {}
QVRArchPAK::~QVRArchPAK() { Close(); }

const char* QVRArchPAK::FormatInfo() const { return "Id Software Quake 1/2 Archive."; }
unsigned QVRArchPAK::RecordSize() const { return kRecordSize; }
unsigned QVRArchPAK::MaxNameLength() const { return kNameField; }
bool QVRArchPAK::HasDates() const { return false; }

bool QVRArchPAK::Open(const char* file) {
  std::string path;
  if (file == nullptr || file[0] == 0 || !qvr::detail::NativePath(file, path)) return false;
  QVRFile in(path.c_str(), QVRResFile::READ);
  uint8_t header[kHeaderSize];
  if (!in.Good() || in.Read(header, kHeaderSize) != kHeaderSize ||
      std::memcmp(header, "PACK", 4) != 0) {
    return false;
  }
  uint32_t dirOffset = Get32(header + 4);
  uint32_t dirLength = Get32(header + 8);
  in.SeekEnd();
  uint64_t fileSize = in.GetPos();
  if (dirOffset > fileSize || static_cast<uint64_t>(dirOffset) + dirLength > fileSize) return false;

  uint32_t count = dirLength / kRecordSize;
  size_t dirBytes = static_cast<size_t>(count) * kRecordSize;
  std::vector<uint8_t> records(dirBytes);
  if (count != 0 && (!in.Seek(static_cast<int>(dirOffset), QVRResFile::SEEK_FROM_START) ||
                     in.Read(records.data(), static_cast<unsigned>(dirBytes)) != dirBytes)) {
    return false;
  }
  std::vector<RawEntry> entries(count);
  uint64_t dataEnd = kHeaderSize;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* record = &records[static_cast<size_t>(i) * kRecordSize];
    RawEntry& entry = entries[i];
    entry.name = reinterpret_cast<const char*>(record);
    entry.nameLength = static_cast<unsigned>(strnlen(entry.name, kNameField));
    entry.start = Get32(record + 56);
    entry.size = Get32(record + 60);
    entry.date = 0;
    uint64_t end = static_cast<uint64_t>(entry.start) + entry.size;
    if (end > dataEnd) dataEnd = end;
  }
  // A record reaching past the end of the file is refused by LoadDirectory,
  // so a data end beyond it never gets stored.
  if (dataEnd > fileSize) return false;
  return LoadDirectory(file, entries, fileSize, static_cast<uint32_t>(dataEnd));
}

void QVRArchPAK::EncodeHeader(uint8_t* header, uint32_t dataEnd, unsigned count) const {
  std::memcpy(header, "PACK", 4);
  Put32(header + 4, dataEnd);
  Put32(header + 8, count * kRecordSize);
}

void QVRArchPAK::EncodeRecord(const ArchiveEntry& entry, uint8_t* record) const {
  std::memset(record, 0, kNameField);
  std::memcpy(record, entry.name, strnlen(entry.name, kNameField));
  Put32(record + 56, entry.start);
  Put32(record + 60, entry.size);
}
