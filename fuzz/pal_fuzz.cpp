// libFuzzer target "pal": the first byte picks a palette format id (0 detects,
// 1-5 the readers, 6 an unknown id), the rest is the file. A loaded palette
// must stay within 4096 entries and survive a round trip through the own
// format and a save in every other format.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "qvr3d/core.h"
#include "qvr3d/pal.h"
#include "qvr3d/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > (1u << 20)) return 0;
  QVR::SetLogLevel(0);
  int format = data[0] % 7;
  std::vector<unsigned char> bytes(data + 1, data + size);
  QVRMemFile in(static_cast<unsigned>(bytes.size()), QVRResFile::READ, bytes.data());
  QVRPal pal;
  bool loaded = pal.Load(in, format);
  if (pal.GetCount() > QVRPal::MAX_ENTRIES) abort();
  if (!loaded) return 0;

  // The own format: 8 bytes of header and 4 per entry; the text formats at
  // most 24 bytes per entry plus their headers.
  unsigned room = 64 + pal.GetCount() * 24;
  QVRMemFile own(room, QVRResFile::READWRITE | QVRResFile::TRUNCATE);
  if (!pal.Save(own, QVRPal::PAL_NATIVE)) abort();
  QVRMemFile back(own.GetPos(), QVRResFile::READ, own.GetData());
  QVRPal again;
  if (pal.GetCount() != 0) {
    if (!again.Load(back, QVRPal::PAL_AUTO)) abort();
    if (again.GetCount() != pal.GetCount()) abort();
    if (std::memcmp(again.GetEntries(), pal.GetEntries(), 4 * pal.GetCount()) != 0) abort();
  }
  for (int id = QVRPal::PAL_GIMP; id <= QVRPal::PAL_BGR; ++id) {
    QVRMemFile out(room, QVRResFile::READWRITE | QVRResFile::TRUNCATE);
    if (!pal.Save(out, id)) abort();
  }
  return 0;
}
