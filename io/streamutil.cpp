// Stream size and absolute seek helpers shared by the file-format readers.
#include "io/streamutil.h"

#include <climits>

#include "qvr3d/stream.h"

namespace qvr::detail {

uint64_t StreamSize(QVRResFile& file) {
  if (auto* mem = dynamic_cast<QVRMemFile*>(&file)) return mem->GetSize();
  const unsigned pos = file.GetPos();
  file.SeekEnd();
  const uint64_t size = file.GetPos();
  file.Seek(static_cast<int>(pos), QVRResFile::SEEK_FROM_START);
  return size;
}

uint64_t BytesLeft(QVRResFile& file) {
  const unsigned pos = file.GetPos();
  if (auto* mem = dynamic_cast<QVRMemFile*>(&file))
    return mem->GetSize() > pos ? mem->GetSize() - pos : 0;
  if (pos > static_cast<unsigned>(INT_MAX)) return 0;
  file.SeekEnd();
  const unsigned end = file.GetPos();
  file.Seek(static_cast<int>(pos), QVRResFile::SEEK_FROM_START);
  return end > pos ? end - pos : 0;
}

bool SeekTo(QVRResFile& file, uint64_t position) {
  return position <= static_cast<uint64_t>(INT_MAX) &&
         file.Seek(static_cast<int>(position), QVRResFile::SEEK_FROM_START);
}

}  // namespace qvr::detail
