// Microsoft WAV header parser and sound reader (PCM, MS ADPCM, IMA ADPCM).
// Layout, little-endian:
//   "RIFF" | size (4) | "WAVE" | chunks: id (4) | length (4) | length bytes
//   "fmt ": tag (2) | channels (2) | rate (4) | bytes/s (4) | block align (2)
//           | bits (2) [| extra size (2) | samples per block (2)
//           | MS ADPCM only: coefficient pairs (2) | pairs x (coef1, coef2)]
//   "data": the samples (PCM) or blocks (ADPCM)
#include <cstdlib>
#include <cstring>

#include "audio/readers.h"
#include "io/le.h"
#include "qvr3d/core.h"
#include "qvr3d/sound.h"
#include "qvr3d/stream.h"

namespace qvr::detail {

namespace {

enum : unsigned { kTagPCM = 1, kTagMSADPCM = 2, kTagIMAADPCM = 0x11 };

// Walks the chunks from offset 12 to the first one called `id`, leaving the
// stream at its first data byte. Lengths are taken as declared; after an odd
// length a zero byte is taken as the RIFF pad byte (a chunk id never starts
// with 0, so files written without pad bytes read the same).
bool FindRiffChunk(QVRResFile& file, uint64_t streamSize, const char* id, uint32_t* length) {
  uint64_t pos = 12;
  while (pos + 8 <= streamSize && SeekTo(file, pos)) {
    uint8_t header[8];
    if (file.Read(header, 8) != 8) return false;
    uint32_t len = Get32(header + 4);
    if (std::memcmp(header, id, 4) == 0) {
      *length = len;
      return true;
    }
    pos += 8 + static_cast<uint64_t>(len);
    if ((len & 1) && pos < streamSize && SeekTo(file, pos) && file.Read8() == 0 && file.Good())
      ++pos;
  }
  return false;
}

}  // namespace

bool ParseWAVHeader(QVRResFile& file, const char* name, WAVCodecs codecs, SoundHeader& out) {
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
  const uint64_t fmtStart = file.GetPos();
  // Every field this reader takes must lie inside the chunk and the stream.
  auto fmtHolds = [&](uint64_t bytes) {
    return bytes <= fmtLength && fmtStart + bytes <= streamSize;
  };
  if (!fmtHolds(16)) {
    QVR::WARN("Sound: bad file %s\n", name);
    return false;
  }
  const unsigned tag = file.Read16();
  const unsigned channels = file.Read16();
  const uint32_t freq = file.Read32();
  file.Read32();  // bytes per second
  const unsigned blockAlign = file.Read16();
  const unsigned bits = file.Read16();
  if (!file.Good()) {
    QVR::WARN("Sound: bad file %s\n", name);
    return false;
  }

  const bool pcmOnly = codecs == WAVCodecs::kPCMOnly;
  if (tag == kTagMSADPCM) {
    if (pcmOnly) {
      QVR::WARN("Sound: MS_ADPCM not supported - %s\n", name);
      return false;
    }
    if (!fmtHolds(22)) {
      QVR::WARN("Sound: InitMS_ADPCM failed - %s\n", name);
      return false;
    }
    file.Read16();  // extra size
    out.ms.channels = static_cast<uint16_t>(channels);
    out.ms.blockAlign = static_cast<uint16_t>(blockAlign);
    out.ms.samplesPerBlock = file.Read16();
    out.ms.numCoef = file.Read16();
    if (out.ms.numCoef != 7 || !fmtHolds(22 + 4u * out.ms.numCoef)) {
      QVR::WARN("Sound: InitMS_ADPCM failed - %s\n", name);
      return false;
    }
    for (auto& pair : out.ms.coef) {
      pair[0] = static_cast<int16_t>(file.Read16());
      pair[1] = static_cast<int16_t>(file.Read16());
    }
  } else if (tag == kTagIMAADPCM) {
    if (pcmOnly) {
      QVR::WARN("Sound: IMA_ADPCM not supported - %s\n", name);
      return false;
    }
    if (!fmtHolds(20)) {
      QVR::WARN("Sound: bad file %s\n", name);
      return false;
    }
    file.Read16();  // extra size
    out.ima.channels = static_cast<uint16_t>(channels);
    out.ima.blockAlign = static_cast<uint16_t>(blockAlign);
    out.ima.samplesPerBlock = file.Read16();
  } else if (tag != kTagPCM) {
    QVR::WARN("Sound: Unknown WAV data format - %s\n", name);
    return false;
  }
  if (!file.Good()) {
    QVR::WARN("Sound: bad file %s\n", name);
    return false;
  }

  const bool adpcm = tag != kTagPCM;
  int format = 0;
  if (bits == 8 && !adpcm)
    format = QVR_AUDIO_U8;
  else if (bits == 16 && !adpcm)
    format = QVR_AUDIO_S16LSB;
  else if (bits == 4 && adpcm)
    format = QVR_AUDIO_S16LSB;
  if (!format) {
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
  out.encoding = tag;
  out.streamSize = streamSize;
  out.dataStart = file.GetPos();
  out.dataSize = dataLength;
  return true;
}

bool ReadWAV(QVRResFile& file, SoundData& out) {
  const char* name = StreamName(file);
  SoundHeader header;
  if (!ParseWAVHeader(file, name, WAVCodecs::kPCMAndADPCM, header)) return false;
  // Refused before allocating: a length the stream cannot deliver.
  if (header.dataStart + header.dataSize > header.streamSize) {
    QVR::WARN("Sound: error reading data - %s\n", name);
    return false;
  }
  uint32_t dataLength = static_cast<uint32_t>(header.dataSize);
  uint8_t* data = AllocSamples(dataLength);
  if (!data || (dataLength && file.Read(data, dataLength) != dataLength)) {
    std::free(data);
    QVR::WARN("Sound: error reading data - %s\n", name);
    return false;
  }

  if (header.encoding != kTagPCM) {
    const bool ms = header.encoding == kTagMSADPCM;
    uint8_t* decoded = nullptr;
    uint32_t decodedSize = 0;
    bool ok = ms ? DecodeMSADPCM(header.ms, data, dataLength, &decoded, &decodedSize)
                 : DecodeIMAADPCM(header.ima, data, dataLength, &decoded, &decodedSize);
    std::free(data);
    if (!ok) {
      if (ms)
        QVR::WARN("Sound: MS_ADPCM_decode - %s\n", name);
      else
        QVR::WARN("Sound: IMA_ADPCM_decode - %s\n", name);
      return false;
    }
    data = decoded;
    dataLength = decodedSize;
  }

  std::free(out.data);
  out.format = header.format;
  out.freq = header.freq;
  out.channels = header.channels;
  out.data = data;
  out.size = dataLength & ~static_cast<uint32_t>(FrameBytes(header.format, header.channels) - 1);
  return true;
}

}  // namespace qvr::detail
