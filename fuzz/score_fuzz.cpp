// libFuzzer target "score": loads a score file from a memory stream, then
// ranks, reorders, resizes and saves the table that came out of it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "qvr3d/core.h"
#include "qvr3d/score.h"
#include "qvr3d/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QVR::SetLogLevel(0);
  if (size == 0) return 0;
  std::vector<unsigned char> bytes(data, data + size);
  QVRMemFile in(static_cast<unsigned>(bytes.size()), QVRResFile::READ, bytes.data());
  QVRScore table(3, QVRScore::HIGHEST_FIRST, 0);
  table.Load(in);
  table.Length();
  table.PrintInfo();
  QVRScoreEntry entry = {"fuzz", 12345, 1};
  table.Add(&entry);
  table.SetSortOrder(table.GetSortOrder() == QVRScore::HIGHEST_FIRST ? QVRScore::LOWEST_FIRST
                                                                     : QVRScore::HIGHEST_FIRST);
  if (table.Size() < 4096) {
    QVRMemFile out(14 + 28 * (table.Size() + 1), QVRResFile::WRITE);
    table.Save(out, true);
    table.Resize(table.Size() + 1);
  }
  return 0;
}
