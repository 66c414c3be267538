// libFuzzer target "config": writes the input to a temporary file, reads it
// with QVRConfigMgr::ParseFile into a table of every type, then saves the
// table and reads the saved file back.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "qvr3d/config.h"
#include "qvr3d/core.h"

namespace {

std::string TempPath(const char* suffix) {
  return "/tmp/qvr3d-config-fuzz-" + std::to_string(getpid()) + suffix;
}

void Declare(QVRConfigMgr& cfg) {
  QVRConfigMgr::CfgValue v;
  std::memset(&v, 0, sizeof v);
  cfg.AddParameter("bool", QVRConfigMgr::CFG_BOOL, v);
  cfg.AddParameter("int", QVRConfigMgr::CFG_INT, v);
  cfg.AddParameter("float", QVRConfigMgr::CFG_FLOAT, v);
  cfg.AddParameter("string", QVRConfigMgr::CFG_STRING, v);
  cfg.AddParameter("color", QVRConfigMgr::CFG_COLOR, v);
  cfg.AddParameter("date", QVRConfigMgr::CFG_DATE, v);
  cfg.AddParameter("other", 77, v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QVR::SetLogLevel(0);
  const std::string in = TempPath(".in"), out = TempPath(".out");
  FILE* f = std::fopen(in.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  QVRConfigMgr cfg(1);
  Declare(cfg);
  cfg.ParseFile(in.c_str());
  cfg.Save(out.c_str(), "fuzz");
  QVRConfigMgr again;
  Declare(again);
  again.ParseFile(out.c_str());
  cfg.PrintInfo();
  std::remove(in.c_str());
  std::remove(out.c_str());
  return 0;
}
