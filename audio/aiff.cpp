// AIFF header parser and sound reader. Layout, big-endian:
//   "FORM" | size (4) | "AIFF" | chunks: id (4) | length (4) | body, padded
//   to an even length
//   "COMM": channels (2) | frames (4) | bits (2) | rate (80-bit IEEE extended)
//   "SSND": offset (4) | block size (4) | offset bytes | sample frames
#include <cstdlib>
#include <cstring>

#include "audio/convert.h"
#include "audio/readers.h"
#include "io/le.h"
#include "qvr3d/core.h"
#include "qvr3d/sound.h"
#include "qvr3d/stream.h"

namespace qvr::detail {

// Only exponents 2^1 .. 2^29 with a positive sign are taken, which rules out
// zero, negative, NaN, infinite and absurd rates; the mantissa's top 31 bits
// are shifted down to an integer.
bool AIFFRate(const uint8_t ext[10], int* rate) {
  if (ext[0] != 0x40 || ext[1] > 0x1C) {
    *rate = 0;
    return false;
  }
  uint32_t mantissa = static_cast<uint32_t>(ext[2]) << 23 | static_cast<uint32_t>(ext[3]) << 15 |
                      static_cast<uint32_t>(ext[4]) << 7 | static_cast<uint32_t>(ext[5]) >> 1;
  *rate = static_cast<int>(mantissa >> (29 - ext[1]));
  return true;
}

bool ParseAIFFHeader(QVRResFile& file, const char* name, SoundHeader& out) {
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
    const uint32_t length = GetBE32(header + 4);
    const uint64_t body = pos + 8;
    const uint64_t chunkEnd = body + length;
    if (std::memcmp(header, "COMM", 4) == 0) {
      uint8_t comm[18];
      if (length < 18 || body + 18 > streamSize || file.Read(comm, 18) != 18) {
        QVR::WARN("Sound: not a valid AIFF file %s\n", name);
        return false;
      }
      channels = static_cast<int>(GetBE16(comm));
      const uint32_t frames = GetBE32(comm + 2);
      const unsigned bits = GetBE16(comm + 6);
      if (bits == 8) {
        format = QVR_AUDIO_S8;
      } else if (bits == 16) {
        format = QVR_AUDIO_S16MSB;
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
      const uint32_t offset = GetBE32(ssnd), blockSize = GetBE32(ssnd + 4);
      dataStart = body + 8 + static_cast<uint64_t>(offset);
      QVR::WARN("Sound: offset=%d, datasize=%d, position=%d\n", static_cast<int>(offset),
                static_cast<int>(blockSize), static_cast<int>(dataStart));
      if (dataStart > chunkEnd) {
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
  out.encoding = 0;
  out.streamSize = streamSize;
  out.dataStart = dataStart;
  // The SSND chunk bounds the data (dataStart is within it).
  out.dataSize = declared < dataEnd - dataStart ? declared : dataEnd - dataStart;
  return true;
}

bool ReadAIFF(QVRResFile& file, SoundData& out) {
  const char* name = StreamName(file);
  SoundHeader header;
  if (!ParseAIFFHeader(file, name, header)) return false;
  // A file cut short keeps the whole frames that it still holds.
  const uint64_t size = HeldData(header);
  uint8_t* data = AllocSamples(size);
  if (!data) {
    QVR::WARN("Sound: error reading data - %s\n", name);
    return false;
  }
  uint32_t got = 0;
  if (size && SeekTo(file, header.dataStart)) got = file.Read(data, static_cast<uint32_t>(size));
  got -= got % FrameBytes(header.format, header.channels);
  int format = header.format;
  if (format == QVR_AUDIO_S16MSB) {
    SwapBytes16(data, got / 2);
    format = QVR_AUDIO_S16LSB;
  }

  std::free(out.data);
  out.format = format;
  out.freq = header.freq;
  out.channels = header.channels;
  out.data = data;
  out.size = got;
  return true;
}

}  // namespace qvr::detail
