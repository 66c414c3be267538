// Private stream helpers of the file-format readers: sizes and absolute
// seeks computed in 64 bits.
#ifndef QVR_IO_STREAMUTIL_H
#define QVR_IO_STREAMUTIL_H

#include <cstdint>

class QVRResFile;

namespace qvr::detail {

/// The stream's total size in bytes; the position is restored (a stream left
/// at its very end may then be in SEEK_ERROR, which the next seek clears).
uint64_t StreamSize(QVRResFile& file);
/// Bytes from the current position to the end of the stream; the position is
/// restored. Memory streams answer without seeking.
uint64_t BytesLeft(QVRResFile& file);
/// Seeks to an absolute position; false when it cannot be reached.
bool SeekTo(QVRResFile& file, uint64_t position);

}  // namespace qvr::detail

#endif
