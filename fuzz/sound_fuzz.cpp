// libFuzzer target "sound": the first byte picks the file type given to
// QVRSound::Load (0 detect, 1 WAV, 2 AIFF, 3 AU) and a conversion target; the
// rest is the file. A loaded sound must hold whole frames and survive
// ChangeFormat to another format, rate and channel count.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "qvr3d/core.h"
#include "qvr3d/sound.h"
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
  QVRSound sound;
  if (!sound.Load(stream, pick & 3)) {
    if (sound.GetData() || sound.GetFormat()) __builtin_trap();
    return 0;
  }
  const unsigned frame = sound.GetFrameSize();
  if (frame == 0 || sound.GetSize() % frame != 0 || !sound.GetData()) __builtin_trap();
  sound.PrintInfo();

  static const int kFormats[] = {QVR_AUDIO_U8,     QVR_AUDIO_S8,     QVR_AUDIO_U16LSB,
                                 QVR_AUDIO_S16LSB, QVR_AUDIO_U16MSB, QVR_AUDIO_S16MSB};
  // Rates near the sound's own, so that the work stays bounded.
  const int freq = sound.GetFreq();
  const int rates[] = {freq / 2, freq, (freq > (1 << 28) || freq < 0) ? freq : freq * 2,
                       (freq >= 5000 && freq <= 200000) ? 22050 : freq};
  const int rate = rates[(pick >> 2) & 3];
  sound.ChangeFormat(kFormats[(pick >> 4) % 6], rate, (pick & 0x80) ? 2 : 1);
  if (sound.GetSize() % sound.GetFrameSize() != 0) __builtin_trap();
  return 0;
}
