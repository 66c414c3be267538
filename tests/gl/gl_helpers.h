// Test helpers of the OpenGL layer: a log capture at every level, font files
// made with QVRFont (in memory or on disk), and a deterministic test font.
#ifndef QVR_TESTS_GL_HELPERS_H
#define QVR_TESTS_GL_HELPERS_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/tmpdir.h"
#include "qvr3d/core.h"
#include "qvr3d/font.h"
#include "qvr3d/image.h"
#include "qvr3d/stream.h"

namespace qvrtest {

// Sends the library's log up to `level` (every level by default) to a file
// until Text().
class AllLog {
 public:
  explicit AllLog(unsigned level = 255) : m_level(QVR::GetLogLevel()) {
    QVR::SetLogLevel(level);
    QVR::SetLogTarget(2, (m_dir / "log.txt").c_str());
  }
  ~AllLog() {
    QVR::CloseLog();
    QVR::SetLogLevel(m_level);
  }
  AllLog(const AllLog&) = delete;
  AllLog& operator=(const AllLog&) = delete;
  std::string Text() {
    QVR::CloseLog();
    return ReadAll(m_dir / "log.txt");
  }

 private:
  TempDir m_dir;
  unsigned m_level;
};

inline bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

inline QVRChar Glyph(unsigned x, unsigned y, unsigned w, unsigned h, int descent) {
  return QVRChar{uint16_t(x), uint16_t(y), uint8_t(w), uint8_t(h), int16_t(descent)};
}

// The version-2 file QVRFont writes for `font`, "" when it fails.
inline std::string FontBytes(QVRFont& font) {
  QVRMemFile out(1u << 22, QVRResFile::READWRITE | QVRResFile::TRUNCATE);
  if (!font.Save(out, 0)) return "";
  // Save ends by writing the offsets at 9, so the size comes from the sheet
  // block: its header and the packed rows.
  const uint8_t* d = out.GetData();
  auto get32 = [d](size_t at) {
    return uint32_t(d[at]) | uint32_t(d[at + 1]) << 8 | uint32_t(d[at + 2]) << 16 |
           uint32_t(d[at + 3]) << 24;
  };
  const uint32_t sheetAt = get32(13), w = get32(sheetAt), h = get32(sheetAt + 4);
  const unsigned depth = d[sheetAt + 8];
  const size_t row = depth == 1 ? (w + 7) / 8 : depth == 2 ? (w + 3) / 4 : w;
  return std::string(reinterpret_cast<const char*>(d), sheetAt + 9 + row * h);
}

// A depth-1 font for the codes '!' .. 'z' with glyphs of varied sizes and
// descents, drawn from a fixed pseudo-random pattern, on a sheet of
// `sheetWidth` columns (not a power of two, so that the texture is padded).
// Code 'q' has no glyph (width 0). Ascent 9, descent 3, spacing 1, white 4.
inline void MakeTestFont(QVRFont& font, unsigned sheetWidth = 203) {
  const unsigned first = '!', last = 'z';
  uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return (state >> 16) & 0x7FFF;
  };
  std::vector<QVRChar> glyphs;
  unsigned x = 1, y = 1, rowHeight = 0;
  for (unsigned c = first; c <= last; ++c) {
    const unsigned w = 2 + next() % 7, h = 3 + next() % 9;
    const int descent = c % 5 == 0 ? 2 : c % 7 == 0 ? -1 : 0;
    if (x + w + 1 > sheetWidth) {
      x = 1;
      y += rowHeight + 1;
      rowHeight = 0;
    }
    glyphs.push_back(Glyph(x, y, c == 'q' ? 0 : w, h, descent));
    x += w + 1;
    if (h > rowHeight) rowHeight = h;
  }
  const unsigned sheetHeight = y + rowHeight + 2;
  QVRImage sheet(sheetWidth, sheetHeight, 8);
  std::memset(sheet.GetPixels(), 0, size_t(sheet.GetPitch()) * sheetHeight);
  for (const QVRChar& g : glyphs)
    for (unsigned r = 0; r < g.height; ++r)
      for (unsigned k = 0; k < g.width; ++k)
        sheet.GetPixels()[(g.y + r) * sheetWidth + g.x + k] = uint8_t(next() % 3 == 0 ? 0 : 1);
  // Every glyph has its corners set, so that a shift by one shows.
  for (const QVRChar& g : glyphs) {
    if (!g.width) continue;
    uint8_t* px = sheet.GetPixels();
    px[g.y * sheetWidth + g.x] = 1;
    px[(g.y + g.height - 1) * sheetWidth + g.x + g.width - 1] = 1;
  }
  font.SetName("GLTest");
  font.SetImage(&sheet, 1);
  font.SetLastChar(last);
  font.SetFirstChar(first);
  for (unsigned c = first; c <= last; ++c) font.SetChar(uint8_t(c), &glyphs[c - first]);
  font.SetAscent(9);
  font.SetDescent(3);
  font.SetSpacing(1);
  font.SetWhiteSize(4);
}

}  // namespace qvrtest

#endif
