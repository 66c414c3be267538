// Sun/NeXT AU header parser and sound reader. Header, big-endian 32-bit fields:
//   ".snd" | data offset | data size (0xFFFFFFFF: to the end) | encoding
//   (2: 8-bit linear, 3: 16-bit linear) | rate | channels | [annotation]
// followed at the data offset by the interleaved samples.
#include <cstdlib>
#include <cstring>

#include "audio/convert.h"
#include "audio/readers.h"
#include "io/le.h"
#include "qvr3d/core.h"
#include "qvr3d/sound.h"
#include "qvr3d/stream.h"

namespace qvr::detail {

bool ParseAUHeader(QVRResFile& file, const char* name, SoundHeader& out) {
  if (!file.Good()) {
    QVR::WARN("Sound: bad file %s\n", name);
    return false;
  }
  uint8_t header[24] = {};
  const bool whole = file.Read(header, 24) == 24;
  auto field = [&](int at) { return GetBE32(header + at); };
  const uint32_t offset = whole ? field(4) : 0;
  const uint32_t declared = field(8), encoding = field(12), freq = field(16), channels = field(20);
  // The data may not overlap the 24-byte header.
  if (!whole || std::memcmp(header, ".snd", 4) != 0 || offset < 24) {
    QVR::WARN("Sound: not a valid AU file %s\n", name);
    return false;
  }
  int format;
  if (encoding == 2) {
    format = QVR_AUDIO_S8;
  } else if (encoding == 3) {
    format = QVR_AUDIO_S16MSB;
  } else {
    QVR::WARN("Sound: AU encoding not supported (%d) - %s\n", static_cast<int>(encoding), name);
    return false;
  }
  if (!CheckChannels(static_cast<long>(channels > 0x7FFFFFFFu ? 0x7FFFFFFFu : channels), name))
    return false;

  const uint64_t streamSize = StreamSize(file);
  if (offset > streamSize) return false;
  out.format = format;
  out.freq = static_cast<int>(freq);
  out.channels = static_cast<int>(channels);
  out.encoding = 0;
  out.streamSize = streamSize;
  out.dataStart = offset;
  out.dataSize = declared == 0xFFFFFFFFu ? streamSize - offset : declared;
  return true;
}

bool ReadAU(QVRResFile& file, SoundData& out) {
  SoundHeader header;
  if (!ParseAUHeader(file, StreamName(file), header)) return false;
  uint64_t size = header.dataSize;
  // A size the stream cannot deliver would end in a short read: refused
  // before anything is allocated.
  if (header.dataStart + size > header.streamSize) return false;
  size -= size % FrameBytes(header.format, header.channels);
  uint8_t* data = AllocSamples(size);
  if (!data) return false;
  if (size &&
      (!SeekTo(file, header.dataStart) || file.Read(data, static_cast<uint32_t>(size)) != size)) {
    std::free(data);
    return false;
  }
  int format = header.format;
  if (format == QVR_AUDIO_S16MSB) {
    SwapBytes16(data, static_cast<uint32_t>(size / 2));
    format = QVR_AUDIO_S16LSB;
  }

  std::free(out.data);
  out.format = format;
  out.freq = header.freq;
  out.channels = header.channels;
  out.data = data;
  out.size = static_cast<uint32_t>(size);
  return true;
}

}  // namespace qvr::detail
