// libFuzzer target "translator": writes the input to a temporary language
// file, loads it with QVRTranslator and reads every string it hands out.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "qvr3d/core.h"
#include "qvr3d/translator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QVR::SetLogLevel(0);
  const std::string path = "/tmp/qvr3d-translator-fuzz-" + std::to_string(getpid()) + ".lng";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  QVRTranslator tr;
  delete[] tr.CheckLang(path.c_str());
  if (tr.Load(path.c_str(), 0)) {
    size_t total = 0;
    for (unsigned i = 0; i < tr.GetStringCount() && i < 100000; ++i) {
      if (const char* s = tr.GetString(i)) total += std::strlen(s);
    }
    tr.GetString(tr.GetStringCount());
    tr.GetCurName();
    tr.PrintInfo(tr.GetStringCount() < 1000);
    volatile size_t sink = total;  // keeps the reads of every byte
    (void)sink;
  }
  std::remove(path.c_str());
  return 0;
}
