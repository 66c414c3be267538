// Internal: the chunk walk of RIFF (WAV) files, shared by the sound reader
// and the music header reader.
#ifndef QVR_AUDIO_RIFF_H
#define QVR_AUDIO_RIFF_H

#include <cstdint>

class QVRResFile;

namespace qvr::detail {

/// Walks the chunks from offset 12 to the first one called `id` (4 bytes),
/// leaving the stream at its first data byte and its length in `length`.
/// False when the stream ends first.
bool FindRiffChunk(QVRResFile& file, uint64_t streamSize, const char* id, uint32_t* length);

}  // namespace qvr::detail

#endif
