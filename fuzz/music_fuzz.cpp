// libFuzzer target "music": the first byte picks the file type given to
// QVRMusic::Load (0 detect, 1 WAV, 2 AIFF, 3 AU) and a start position; the
// rest is the file. A loaded music is streamed to its end under three output
// formats: every chunk must hold whole output frames and stay within the
// largest chunk a conversion may make, and a pass must end.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "qvr3d/core.h"
#include "qvr3d/music.h"
#include "qvr3d/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    QVR::SetLogLevel(0);
    return true;
  }();
  (void)quiet;
  if (size < 2) return 0;
  const uint8_t pick = data[0];
  std::vector<unsigned char> bytes(data + 1, data + size);

  QVRMemFile stream(unsigned(bytes.size()), QVRResFile::READ, bytes.data(), false, "fuzz");
  QVRMusic music;
  if (!music.Load(stream, pick & 3)) {
    if (music.GetType() != 0 || music.GetFile() || music.NextData()) __builtin_trap();
    return 0;
  }
  if (music.GetDataSize() > bytes.size()) __builtin_trap();
  music.PrintInfo();

  struct Output {
    int format, freq, channels;
  };
  static const Output kOutputs[] = {
      {QVR_AUDIO_S16LSB, 44100, 2}, {QVR_AUDIO_U8, 11025, 1}, {QVR_AUDIO_U16MSB, 22000, 2}};
  for (const Output& out : kOutputs) {
    music.ChangeFormat(out.format, out.freq, out.channels);
    music.SetPosition(unsigned(pick >> 2) * 97);
    const unsigned frame = ((out.format & 0xFF) / 8) * unsigned(out.channels);
    // Each chunk takes at least one whole file frame, so a pass has at most
    // as many chunks as the data have bytes.
    uint64_t chunks = 0;
    while (const unsigned char* chunk = music.NextData()) {
      if (music.GetSize() == 0 || music.GetSize() > QVRMusic::kMaxChunkBytes) __builtin_trap();
      if (music.GetSize() % frame != 0) __builtin_trap();
      volatile unsigned char sink = chunk[music.GetSize() - 1];
      (void)sink;
      if (++chunks > uint64_t(music.GetDataSize()) + 1) __builtin_trap();
    }
    // The end of a pass rewinds (a refused conversion yields nothing at all).
    if (chunks > 0 && music.GetPos() != 0) __builtin_trap();
    music.GetPosition();
  }
  return 0;
}
