// Header readers of streamed music: the same WAV, AIFF and AU layouts as the
// sound readers, stopping where the sample data start.
//   WAV:  "RIFF" size "WAVE" | "fmt " chunk (PCM only) | "data" chunk
//   AIFF: "FORM" size "AIFF" | "COMM" chunk | "SSND": offset, block size, data
//   AU:   ".snd" | offset | size | encoding | rate | channels (big-endian)
#include <cstring>

#include "audio/music_read.h"
#include "audio/readers.h"
#include "audio/riff.h"
#include "qvr3d/core.h"
#include "qvr3d/sound.h"
#include "qvr3d/stream.h"

namespace qvr::detail {

namespace {

inline uint32_t BE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}

// The data size held to what the stream holds past the start, in whole
// frames, so that streaming never asks for bytes that cannot come.
uint32_t WholeFrames(uint64_t declared, uint64_t start, uint64_t streamSize, unsigned frame) {
  const uint64_t avail = streamSize > start ? streamSize - start : 0;
  uint64_t size = declared < avail ? declared : avail;
  if (size > 0xFFFFFFFFu) size = 0xFFFFFFFFu;
  return static_cast<uint32_t>(size - size % frame);
}

}  // namespace

bool ReadMusicWAV(QVRResFile& file, MusicHeader& out) {
  const char* name = StreamName(file);
  if (!file.Good()) {
    QVR::WARN("Sound: bad file %s\n", name);
    return false;
  }
  uint8_t riff[12];
  if (file.Read(riff, 12) != 12 || std::memcmp(riff, "RIFF", 4) != 0 ||
      std::memcmp(riff + 8, "WAVE", 4) != 0) {
    QVR::WARN("Sound: bad file type (not WAV) (%s)\n", name);
    return false;
  }
  const uint64_t streamSize = StreamSize(file);
  uint32_t fmtLength = 0;
  if (!FindRiffChunk(file, streamSize, "fmt ", &fmtLength)) {
    QVR::WARN("Sound: internal error\n");
    return false;
  }
  if (fmtLength < 16 || file.GetPos() + static_cast<uint64_t>(16) > streamSize) {
    QVR::WARN("Sound: bad file %s\n", name);
    return false;
  }
  const unsigned tag = file.Read16();
  const unsigned channels = file.Read16();
  const uint32_t freq = file.Read32();
  file.Read32();  // bytes per second
  file.Read16();  // block align
  const unsigned bits = file.Read16();
  if (tag == 2) {
    QVR::WARN("Sound: MS_ADPCM not supported - %s\n", name);
    return false;
  }
  if (tag == 0x11) {
    QVR::WARN("Sound: IMA_ADPCM not supported - %s\n", name);
    return false;
  }
  if (tag != 1) {
    QVR::WARN("Sound: Unknown WAV data format - %s\n", name);
    return false;
  }
  int format;
  if (bits == 8) {
    format = QVR_AUDIO_U8;
  } else if (bits == 16) {
    format = QVR_AUDIO_S16LSB;
  } else {
    QVR::WARN("Sound: unknown %d-bits PCM format - %s\n", static_cast<int>(bits), name);
    return false;
  }
  if (!CheckChannels(static_cast<long>(channels), name)) return false;
  uint32_t dataLength = 0;
  if (!FindRiffChunk(file, streamSize, "data", &dataLength)) {
    QVR::WARN("Sound: no data in file %s\n", name);
    return false;
  }
  out.format = format;
  out.freq = static_cast<int>(freq);
  out.channels = static_cast<int>(channels);
  out.dataStart = file.GetPos();
  out.dataSize = WholeFrames(dataLength, out.dataStart, streamSize,
                             FrameBytes(format, static_cast<int>(channels)));
  return true;
}

bool ReadMusicAIFF(QVRResFile& file, MusicHeader& out) {
  const char* name = StreamName(file);
  if (!file.Good()) {
    QVR::WARN("Sound: bad file %s\n", name);
    return false;
  }
  uint8_t form[12];
  if (file.Read(form, 12) != 12 || std::memcmp(form, "FORM", 4) != 0 ||
      std::memcmp(form + 8, "AIFF", 4) != 0) {
    QVR::WARN("Sound: not a valid AIFF file %s\n", name);
    return false;
  }
  const uint64_t streamSize = StreamSize(file);
  bool haveComm = false, haveSsnd = false;
  int format = 0, channels = 0, freq = 0;
  uint64_t declared = 0, dataStart = 0, dataEnd = 0;
  uint64_t pos = file.GetPos();
  while (!(haveComm && haveSsnd) && pos + 8 <= streamSize && SeekTo(file, pos)) {
    uint8_t header[8];
    if (file.Read(header, 8) != 8) break;
    const uint32_t length = BE32(header + 4);
    const uint64_t body = pos + 8;
    const uint64_t chunkEnd = body + length;
    if (std::memcmp(header, "COMM", 4) == 0) {
      uint8_t comm[18];
      if (length < 18 || body + 18 > streamSize || file.Read(comm, 18) != 18) {
        QVR::WARN("Sound: not a valid AIFF file %s\n", name);
        return false;
      }
      channels = (comm[0] << 8) | comm[1];
      const uint32_t frames = BE32(comm + 2);
      const unsigned bits = (comm[6] << 8) | comm[7];
      if (bits == 8) {
        format = QVR_AUDIO_S8;
      } else if (bits == 16) {
        format = QVR_AUDIO_S16LSB;
      } else {
        QVR::WARN("Sound: sample size not supported - %s\n", name);
        return false;
      }
      if (!CheckChannels(channels, name)) return false;
      declared = static_cast<uint64_t>(frames) * FrameBytes(format, channels);
      if (!AIFFRate(comm + 8, &freq)) QVR::WARN("Sound: bad sample rate %s\n", name);
      haveComm = true;
    } else if (std::memcmp(header, "SSND", 4) == 0) {
      uint8_t ssnd[8];
      if (body + 8 > streamSize || file.Read(ssnd, 8) != 8) break;
      const uint32_t offset = BE32(ssnd), blockSize = BE32(ssnd + 4);
      dataStart = body + 8 + static_cast<uint64_t>(offset);
      QVR::WARN("Sound: offset=%d, datasize=%d, position=%d\n", static_cast<int>(offset),
                static_cast<int>(blockSize), static_cast<int>(dataStart));
      if (dataStart > chunkEnd || dataStart > 0xFFFFFFFFu) {
        QVR::WARN("Sound: not a valid AIFF file %s\n", name);
        return false;
      }
      dataEnd = chunkEnd;
      haveSsnd = true;
    }
    pos = chunkEnd + (length & 1);
  }
  if (!haveSsnd) return false;
  if (!haveComm) {
    QVR::WARN("Sound: not a valid AIFF file %s\n", name);
    return false;
  }
  out.format = format;
  out.freq = freq;
  out.channels = channels;
  out.dataStart = static_cast<uint32_t>(dataStart);
  out.dataSize = WholeFrames(declared, dataStart, dataEnd < streamSize ? dataEnd : streamSize,
                             FrameBytes(format, channels));
  return true;
}

bool ReadMusicAU(QVRResFile& file, MusicHeader& out) {
  const char* name = StreamName(file);
  if (!file.Good()) {
    QVR::WARN("Sound: bad file %s\n", name);
    return false;
  }
  uint8_t header[24] = {};
  const bool whole = file.Read(header, 24) == 24;
  auto field = [&](int at) { return BE32(header + at); };
  const uint32_t offset = field(4), declared = field(8), encoding = field(12);
  const uint32_t freq = field(16), channels = field(20);
  if (!whole || std::memcmp(header, ".snd", 4) != 0 || offset < 24) {
    QVR::WARN("Sound: not a valid AU file %s\n", name);
    return false;
  }
  int format;
  if (encoding == 2) {
    format = QVR_AUDIO_S8;
  } else if (encoding == 3) {
    format = QVR_AUDIO_S16LSB;
  } else {
    QVR::WARN("Sound: AU encoding not supported (%d) - %s\n", static_cast<int>(encoding), name);
    return false;
  }
  if (!CheckChannels(static_cast<long>(channels > 0x7FFFFFFFu ? 0x7FFFFFFFu : channels), name))
    return false;
  const uint64_t streamSize = StreamSize(file);
  if (offset > streamSize) return false;
  const uint64_t size = declared == 0xFFFFFFFFu ? streamSize - offset : declared;
  out.format = format;
  out.freq = static_cast<int>(freq);
  out.channels = static_cast<int>(channels);
  out.dataStart = offset;
  out.dataSize =
      WholeFrames(size, offset, streamSize, FrameBytes(format, static_cast<int>(channels)));
  return true;
}

}  // namespace qvr::detail
