// QVRArchQVR: header and directory of the library's own archive format.
//
//   0  "QVRA"   4  directory offset D   8  entry count N
//   12 ...      member data back to back, up to D
//   D  N records of 44 bytes: name[32] (NUL-terminated, at most 31
//      characters), size, start, date (seconds since 1970, UTC)
// All integers are 32-bit little-endian.
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

constexpr unsigned kRecordSize = 44;
constexpr unsigned kNameField = 32;
constexpr uint32_t kHeaderSize = 12;

}  // namespace

QVRArchQVR::QVRArchQVR() : QVRArchive(FORMAT_QVR) {}
QVRArchQVR::~QVRArchQVR() { Close(); }

const char* QVRArchQVR::FormatInfo() const { return "QVR Archive v1.00"; }
unsigned QVRArchQVR::RecordSize() const { return kRecordSize; }
unsigned QVRArchQVR::MaxNameLength() const { return kNameField - 1; }
bool QVRArchQVR::HasDates() const { return true; }

bool QVRArchQVR::Open(const char* file) {
  std::string path;
  if (file == nullptr || file[0] == 0 || !qvr::detail::NativePath(file, path)) return false;
  QVRFile in(path.c_str(), QVRResFile::READ);
  uint8_t header[kHeaderSize];
  if (!in.Good() || in.Read(header, kHeaderSize) != kHeaderSize ||
      std::memcmp(header, "QVRA", 4) != 0) {
    return false;
  }
  uint32_t dirOffset = Get32(header + 4);
  uint32_t count = Get32(header + 8);
  std::vector<RawEntry> entries;
  // An empty archive opens whatever its directory offset says.
  if (count == 0) return LoadDirectory(file, entries, 0, kHeaderSize);

  in.SeekEnd();
  uint64_t fileSize = in.GetPos();
  uint64_t dirBytes = static_cast<uint64_t>(count) * kRecordSize;
  if (dirOffset > fileSize || dirOffset < kHeaderSize || dirOffset + dirBytes > fileSize)
    return false;
  // The directory is read in one block and decoded from memory.
  std::vector<uint8_t> records(static_cast<size_t>(dirBytes));
  if (!in.Seek(static_cast<int>(dirOffset), QVRResFile::SEEK_FROM_START) ||
      in.Read(records.data(), static_cast<unsigned>(dirBytes)) != dirBytes) {
    return false;
  }
  entries.resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* record = &records[static_cast<size_t>(i) * kRecordSize];
    RawEntry& entry = entries[i];
    entry.name = reinterpret_cast<const char*>(record);
    // The last byte of the field is never part of the name, terminated or not.
    entry.nameLength = static_cast<unsigned>(strnlen(entry.name, kNameField - 1));
    entry.size = Get32(record + 32);
    entry.start = Get32(record + 36);
    entry.date = Get32(record + 40);
  }
  return LoadDirectory(file, entries, fileSize, dirOffset);
}

void QVRArchQVR::EncodeHeader(uint8_t* header, uint32_t dataEnd, unsigned count) const {
  std::memcpy(header, "QVRA", 4);
  Put32(header + 4, dataEnd);
  Put32(header + 8, count);
}

void QVRArchQVR::EncodeRecord(const ArchiveEntry& entry, uint8_t* record) const {
  std::memset(record, 0, kNameField);
  std::memcpy(record, entry.name, strnlen(entry.name, kNameField - 1));
  Put32(record + 32, entry.size);
  Put32(record + 36, entry.start);
  Put32(record + 40, entry.date);
}
