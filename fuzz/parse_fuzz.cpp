// libFuzzer target "parse": runs arbitrary text through every QVRParse reader
// in both calling styles and the in-place text utilities, plus QVRString's
// formatting and file-name cleaning of the same text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "qvr3d/core.h"
#include "qvr3d/parse.h"
#include "qvr3d/string.h"

namespace {

// Walks a line with every cursor reader until none of them moves it, the way
// the configuration and palette readers step through a line.
void CursorWalk(std::vector<char> text) {
  char* p = text.data();
  char out[17];
  for (int guard = 0; guard < 4096 && *p; ++guard) {
    char* before = p;
    bool b;
    int i;
    float f;
    QVRRect r;
    unsigned char rgba[4] = {0, 0, 0, 0};
    QVRParse::ReadBoolean(&p, b);
    QVRParse::ReadInt(&p, i);
    QVRParse::ReadFloat(&p, f);
    QVRParse::ReadGeometry(&p, r);
    if (QVRParse::ReadColor(&p, rgba)) QVRParse::Color2Hexa(rgba, (rgba[3] & 1) != 0);
    QVRParse::ReadString(&p, out, 16, ',');
    if (p == before) break;
  }
  p = text.data();
  QVRParse::ReadString(&p, nullptr, 0, ';');
}

void PointerReaders(const char* text) {
  bool b;
  int i;
  float f;
  unsigned char rgba[4];
  float rgb[3];
  for (const char* p = text; p && *p;) {
    const char* next = QVRParse::ReadColor(p, rgba);
    if (!next) break;
    p = next;
  }
  QVRParse::ReadBoolean(text, b);
  QVRParse::ReadInt(text, i);
  if (QVRParse::ReadFloat(text, f)) {
    float h, s, v, r, g, bl;
    QVRParse::RGB_to_HSV(f, f * 0.5f, 1.0f - f, h, s, v);
    QVRParse::HSV_to_RGB(f, 1.0f, 1.0f, r, g, bl);
  }
  QVRParse::Hexa2Float(text, rgb);
  QVRParse::EatSpace(text);
  unsigned long t;
  QVRParse::ReadDate(text, t);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool quiet = (QVR::SetLogLevel(1), true);  // SkipEqual logs each miss
  (void)quiet;
  if (size > 4096) return 0;
  std::vector<char> text(data, data + size);
  text.push_back(0);

  CursorWalk(text);
  PointerReaders(text.data());

  std::vector<char> copy(text);
  QVRParse::SkipEqual(copy.data());
  QVRParse::ForceRange(copy.data(), 32, 126, '?');
  copy = text;
  QVRParse::SystemPath(copy.data());
  std::vector<char> scrambled(text.size());
  QVRParse::Obfuscate(text.data(), scrambled.data());

  QVRString s;
  s.Format("%s", text.data());
  s.MakeFilename();
  return 0;
}
