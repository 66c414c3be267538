// Header readers of streamed music: the sound readers' header parsers
// (audio/wav.cpp, aiff.cpp, au.cpp), and what the music keeps of them to
// stream the samples in place.
#include "audio/music_read.h"
#include "audio/readers.h"
#include "qvr3d/core.h"
#include "qvr3d/sound.h"
#include "qvr3d/stream.h"

namespace qvr::detail {

namespace {

// The data size is held to the whole frames the stream holds, so that
// streaming never asks for bytes that cannot come. 16-bit AIFF and AU data
// are described as little-endian: their chunks are swapped on reading.
bool Keep(const SoundHeader& header, MusicHeader& out) {
  const unsigned frame = FrameBytes(header.format, header.channels);
  const uint64_t held = HeldData(header);
  const uint64_t limit = 0xFFFFFFFFu - 0xFFFFFFFFu % frame;
  out.format = header.format == QVR_AUDIO_S16MSB ? QVR_AUDIO_S16LSB : header.format;
  out.freq = header.freq;
  out.channels = header.channels;
  out.dataStart = static_cast<uint32_t>(header.dataStart);
  out.dataSize = static_cast<uint32_t>(held < limit ? held : limit);
  return true;
}

}  // namespace

bool ReadMusicWAV(QVRResFile& file, MusicHeader& out) {
  SoundHeader header;
  return ParseWAVHeader(file, StreamName(file), WAVCodecs::kPCMOnly, header) && Keep(header, out);
}

bool ReadMusicAIFF(QVRResFile& file, MusicHeader& out) {
  const char* name = StreamName(file);
  SoundHeader header;
  if (!ParseAIFFHeader(file, name, header)) return false;
  // The stream's positions are 32 bits wide; the sound reader takes such a
  // file as an empty sound, the music has no start to seek to.
  if (header.dataStart > 0xFFFFFFFFu) {
    QVR::WARN("Sound: not a valid AIFF file %s\n", name);
    return false;
  }
  return Keep(header, out);
}

bool ReadMusicAU(QVRResFile& file, MusicHeader& out) {
  SoundHeader header;
  return ParseAUHeader(file, StreamName(file), header) && Keep(header, out);
}

}  // namespace qvr::detail
