// Internal: the header readers of streamed music.
#ifndef QVR_AUDIO_MUSIC_READ_H
#define QVR_AUDIO_MUSIC_READ_H

#include <cstdint>

class QVRResFile;

namespace qvr::detail {

/// Where a music file's samples lie and how they are stored (16-bit data
/// are described as AUDIO_S16LSB: AIFF and AU chunks are swapped on reading).
struct MusicHeader {
  int format = 0;
  int freq = 0;
  int channels = 0;
  uint32_t dataStart = 0;
  uint32_t dataSize = 0;  // whole frames, held to what the stream holds
};

/// Each reads the header from the stream's current position, logs its
/// failures at WARN level ("Sound: ...") and returns false.
bool ReadMusicWAV(QVRResFile& file, MusicHeader& out);
bool ReadMusicAIFF(QVRResFile& file, MusicHeader& out);
bool ReadMusicAU(QVRResFile& file, MusicHeader& out);

}  // namespace qvr::detail

#endif
