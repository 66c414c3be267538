// libFuzzer target "font": the first byte picks the reader (even: version 2,
// odd: version 1) and, from its other bits, where the text is drawn; the rest
// is the font file. A loaded font draws every code into a small 8-bit and
// 32-bit image, and must save and load back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "qvr3d/core.h"
#include "qvr3d/font.h"
#include "qvr3d/image.h"
#include "qvr3d/stream.h"

namespace {

void DrawEveryCode(QVRImage& img, QVRFont& font, int x, int y, FontAlign align) {
  char all[256];
  for (int c = 0; c < 255; ++c) all[c] = char(c + 1);
  all[255] = 0;
  img.DrawText(x, y, all, 0xFFFFFFFFu, &font, align);
  FontParams params{&font, align, {1, 2, 3, 4}};
  for (int c = 0; c < 256; ++c) {
    const char code = char(c);
    img.DrawText(x, y, &code, 0x5A5A5A5Au, &font, align, 1);
    img.DrawTextEx(x - c % 7, y + c % 5 - 2, &code, params, 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > (1u << 20)) return 0;
  QVR::SetLogLevel(0);
  const uint8_t pick = data[0];
  std::vector<unsigned char> bytes(data + 1, data + size);
  QVRMemFile in(static_cast<unsigned>(bytes.size()), QVRResFile::READ, bytes.data());
  QVRFont font;
  const bool loaded = (pick & 1) ? font.LoadV1(in, 0) : font.Load(in, 0);
  if (!loaded) {
    if (font.GetName() || font.GetSheet()) abort();  // a failed load leaves it empty
    return 0;
  }
  const uint64_t sheetBytes = uint64_t(font.GetSheetWidth()) * font.GetSheetHeight();
  if ((font.GetSheet() != nullptr) != (sheetBytes != 0)) abort();
  if (font.GetFirstChar() > font.GetLastChar() || font.GetLastChar() > 255) abort();

  const FontAlign align = FontAlign((pick >> 1) % 3);
  const int x = int((pick >> 3) % 8) - 3;
  const int y = int(pick >> 6) * 5 - 2;
  QVRImage small8(13, 11, 8);
  QVRImage small32(13, 11, 32);
  DrawEveryCode(small8, font, x, y, align);
  DrawEveryCode(small32, font, x, y, align);
  unsigned w = 0, h = 0;
  font.TextSize("\x01 AZaz\t\x7F\xFF", w, h);
  font.PrintInfo(true);

  // Names of 255 characters load but do not fit the length byte of Save.
  if (!font.GetSheet() || std::strlen(font.GetName()) > 254) return 0;
  // Save writes the sheet packed as it was read: at most the input's size
  // plus the fixed blocks.
  const unsigned room = unsigned(bytes.size()) + 4096;
  QVRMemFile out(room, QVRResFile::READWRITE | QVRResFile::TRUNCATE);
  if (!font.Save(out, 0)) abort();
  QVRMemFile back(room, QVRResFile::READ, out.GetData());
  QVRFont again;
  if (!again.Load(back, 0)) abort();
  if (std::strcmp(again.GetName(), font.GetName()) != 0 ||
      again.GetFirstChar() != font.GetFirstChar() || again.GetLastChar() != font.GetLastChar() ||
      again.GetSheetWidth() != font.GetSheetWidth() ||
      again.GetSheetHeight() != font.GetSheetHeight() ||
      std::memcmp(again.GetSheet(), font.GetSheet(), size_t(sheetBytes)) != 0)
    abort();
  for (unsigned c = font.GetFirstChar(); c <= font.GetLastChar(); ++c)
    if (std::memcmp(again.GetChar(uint8_t(c)), font.GetChar(uint8_t(c)), sizeof(QVRChar)) != 0)
      abort();
  return 0;
}
