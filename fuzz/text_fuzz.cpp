// libFuzzer target "text": the first byte picks the QVRText load format
// (detect, text, binary), the rest is the stream. What loads is saved in both
// forms, and the binary form must load back to the same slots.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "qvr3d/stream.h"
#include "qvr3d/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > (1u << 24)) return 0;
  int format = data[0] % 3;
  std::vector<unsigned char> bytes(data + 1, data + size);
  QVRMemFile in(static_cast<unsigned>(bytes.size()), QVRResFile::READ, bytes.data());
  QVRText text;
  if (!text.Load(in, format)) return 0;

  // The binary form needs at most 8 bytes of header and 4 per slot on top of
  // the text; the text form at most one line end per slot.
  unsigned room = text.MemoryUsed();
  QVRMemFile binary(room, QVRResFile::READWRITE | QVRResFile::TRUNCATE);
  QVRMemFile lines(room, QVRResFile::READWRITE | QVRResFile::TRUNCATE);
  bool savedBinary = text.Save(binary, 0);
  text.Save(lines, 2);
  if (!savedBinary) {
    if (text.Length() != 0) abort();  // only an all-empty array may refuse
    return 0;
  }

  unsigned written = binary.GetPos();
  QVRMemFile back(written, QVRResFile::READ, binary.GetData());
  QVRText again;
  if (!again.Load(back, QVRText::DETECT)) abort();
  unsigned last = text.Count();
  while (last > 0 && !text[last - 1]) --last;
  if (again.Count() != last) abort();
  for (unsigned i = 0; i < last; ++i) {
    const char* a = text[i];
    const char* b = again[i];
    if ((a == nullptr) != (b == nullptr) || (a && strcmp(a, b) != 0)) abort();
  }
  return 0;
}
