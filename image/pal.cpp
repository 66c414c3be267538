// QVRPal: entries, resizing, grey scales, and the five palette file formats.
//
// Own format (little-endian): "QVRP", u32 count n, n x {r, g, b, a}.
// GIMP:  "GIMP Palette" line, optional "#"/"Name:"/"Columns:" lines, then one
//        "r g b [name]" line per colour.
// JASC:  "JASC-PAL", a version line ("0100"), the count, then "r g b" lines.
// Raw:   768 bytes (256 x r, g, b, or b, g, r for the BGR flavour), no header.
#include "qvr3d/pal.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "qvr3d/core.h"
#include "qvr3d/parse.h"
#include "qvr3d/stream.h"

namespace {

// Longest text line the readers look at; the rest of a longer line is
// skipped so that it cannot be taken for a colour line of its own.
constexpr unsigned kLineSize = 150;
constexpr unsigned kRawSize = 768;
constexpr unsigned kGimpMaxEntries = 256;

// Reads one line; returns false at the end of the data.
bool ReadLine(QVRResFile& file, char* line) {
  unsigned got = file.GetLine(line, kLineSize, '\n');
  if (got == 0) return false;
  if (got == kLineSize) {
    char rest[kLineSize];
    while (file.GetLine(rest, kLineSize, '\n') == kLineSize) {
    }
  }
  return true;
}

bool StartsWith(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// Writes a formatted text through the stream; false when it was not stored.
bool WriteText(QVRResFile& file, const char* text) {
  unsigned len = static_cast<unsigned>(std::strlen(text));
  return file.Write(text, len) == len;
}

}  // namespace

QVRPal::QVRPal(unsigned count) : m_count(0), m_entries(nullptr) { Resize(count); }

QVRPal::QVRPal(const char* file, int format) : m_count(0), m_entries(nullptr) {
  QVRFile stream(file, QVRResFile::READ);
  if (stream.Good()) Load(stream, format);
}

QVRPal::QVRPal(QVRResFile& file, int format) : m_count(0), m_entries(nullptr) {
  if (file.Good()) Load(file, format);
}

QVRPal::QVRPal(const QVRPal* src) : m_count(0), m_entries(nullptr) {
  if (src == nullptr || src->m_count == 0) return;
  Resize(src->m_count);
  if (m_count == src->m_count) std::memcpy(m_entries, src->m_entries, 4u * m_count);
}

QVRPal::QVRPal(const QVRPal& other) : QVRPal(&other) {}

QVRPal::~QVRPal() { delete[] m_entries; }

void QVRPal::SetEntry(unsigned i, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  if (i >= m_count) return;
  uint8_t* e = m_entries + 4 * i;
  e[0] = r;
  e[1] = g;
  e[2] = b;
  e[3] = a;
}

void QVRPal::SetFromRGB(const unsigned char* rgb, unsigned count, unsigned first) {
  if (rgb == nullptr) return;
  uint64_t end = static_cast<uint64_t>(first) + count;
  if (end > m_count) Resize(end > MAX_ENTRIES ? MAX_ENTRIES + 1 : static_cast<unsigned>(end));
  for (uint64_t i = first; i < end && i < m_count; ++i, rgb += 3)
    SetEntry(static_cast<unsigned>(i), rgb[0], rgb[1], rgb[2], 0);
}

void QVRPal::SetFromRGBA(const unsigned char* rgba, unsigned count, unsigned first) {
  if (rgba == nullptr) return;
  uint64_t end = static_cast<uint64_t>(first) + count;
  if (end > m_count) Resize(end > MAX_ENTRIES ? MAX_ENTRIES + 1 : static_cast<unsigned>(end));
  if (first >= m_count) return;
  if (end > m_count) end = m_count;
  std::memcpy(m_entries + 4u * first, rgba, static_cast<size_t>(end - first) * 4u);
}

void QVRPal::Resize(unsigned n) {
  if (n == 0) {
    delete[] m_entries;
    m_entries = nullptr;
    m_count = 0;
    return;
  }
  if (n > MAX_ENTRIES) {
    QVR::LOG("Note: palette size must be < 4096 !\n");
    n = MAX_ENTRIES;
  }
  if (n == m_count) return;
  // New entries are zeroed rather than left undefined, so that a short file
  // gives the same palette every time.
  uint8_t* entries = new (std::nothrow) uint8_t[4u * n]();
  if (entries == nullptr) {
    QVR::ERR("QVRPal: cannot allocate %u entries\n", n);
    return;
  }
  if (m_entries != nullptr) std::memcpy(entries, m_entries, 4u * (n < m_count ? n : m_count));
  delete[] m_entries;
  m_entries = entries;
  m_count = n;
}

void QVRPal::GenerateGreyScale(unsigned n) {
  if (n > 256) n = 256;
  if (n > m_count) Resize(n);
  for (unsigned i = 0; i < m_count; ++i) {
    uint8_t grey = static_cast<uint8_t>(static_cast<uint64_t>(i) * 256u / m_count);
    SetEntry(i, grey, grey, grey, 0);
  }
}

void QVRPal::ToGreyScale() {
  for (unsigned i = 0; i < m_count; ++i) {
    const uint8_t* e = m_entries + 4 * i;
    uint8_t grey = static_cast<uint8_t>((static_cast<unsigned>(e[0]) + e[1] + e[2]) / 3u);
    SetEntry(i, grey, grey, grey, 0);
  }
}

unsigned QVRPal::MemoryUsed() const { return m_count * 4u + static_cast<unsigned>(sizeof(QVRPal)); }

bool QVRPal::Load(QVRResFile& file, int format) {
  if (!file.Good()) {
    QVR::WARN("QVRPal: bad file\n");
    return false;
  }
  if (format == PAL_AUTO) {
    format = FindFormat(file);
    // Nothing recognised: the own reader finds no magic and refuses quietly.
    if (format == PAL_AUTO) format = PAL_NATIVE;
  }
  switch (format) {
    case PAL_NATIVE:
      return QVRLoad(file);
    case PAL_GIMP:
      return GIMPLoad(file);
    case PAL_JASC:
      return JASCLoad(file);
    case PAL_RGB:
    case PAL_BGR:
      return RGBLoad(file, format);
    default:
      QVR::WARN("Unknown palette format %d\n", format);
      return false;
  }
}

int QVRPal::FindFormat(QVRResFile& file) {
  char head[20];
  unsigned got = file.Read(head, sizeof head);
  file.SeekStart();
  if (got >= 4 && std::memcmp(head, "QVRP", 4) == 0) return PAL_NATIVE;
  if (got >= 12 && std::memcmp(head, "GIMP Palette", 12) == 0) return PAL_GIMP;
  if (got >= 8 && std::memcmp(head, "JASC-PAL", 8) == 0) return PAL_JASC;
  file.SeekEnd();
  unsigned size = file.GetPos();
  file.SeekStart();
  return size == kRawSize ? PAL_RGB : PAL_AUTO;
}

bool QVRPal::QVRLoad(QVRResFile& file) {
  char magic[4];
  if (file.Read(magic, 4) != 4 || std::memcmp(magic, "QVRP", 4) != 0) return false;
  uint32_t count = file.Read32();
  if (!file.Good()) return false;
  Resize(count);
  if (m_count == 0) return count == 0;
  unsigned bytes = m_count * 4u;
  return file.Read(m_entries, bytes) == bytes;
}

bool QVRPal::GIMPLoad(QVRResFile& file) {
  char line[kLineSize];
  if (!ReadLine(file, line) || !StartsWith(line, "GIMP Palette")) {
    QVR::WARN("Not a Gimp palette\n");
    return false;
  }
  Resize(kGimpMaxEntries);
  // Lines that do not hold three numbers (comments, and the "Name:" and
  // "Columns:" lines that GIMP itself writes) are skipped wherever they are,
  // so that they do not take a palette slot.
  unsigned stored = 0;
  while (stored < kGimpMaxEntries && ReadLine(file, line)) {
    int r, g, b;
    if (line[0] == '#' || std::sscanf(line, "%d %d %d", &r, &g, &b) != 3) continue;
    SetEntry(stored++, static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b),
             0);
  }
  Resize(stored);
  return true;
}

bool QVRPal::JASCLoad(QVRResFile& file) {
  char line[kLineSize];
  if (!ReadLine(file, line) || !StartsWith(line, "JASC-PAL")) {
    QVR::WARN("Not a Paint Shop Pro palette\n");
    return false;
  }
  int count = -1;
  if (!ReadLine(file, line) || !ReadLine(file, line) || std::sscanf(line, "%d", &count) != 1 ||
      count < 0) {
    QVR::WARN("QVRPal: bad JASC colour count\n");
    return false;
  }
  Resize(static_cast<unsigned>(count));
  for (unsigned i = 0; i < m_count; ++i) {
    if (!ReadLine(file, line)) break;
    int r, g, b;
    if (std::sscanf(line, "%d %d %d", &r, &g, &b) == 3)
      SetEntry(i, static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b), 0);
  }
  return true;
}

bool QVRPal::RGBLoad(QVRResFile& file, int format) {
  uint8_t raw[kRawSize];
  unsigned got = file.Read(raw, kRawSize);
  if (got == 0) return false;
  unsigned n = got / 3;
  if (n != m_count) Resize(n);
  bool bgr = format == PAL_BGR;
  for (unsigned i = 0; i < m_count; ++i) {
    const uint8_t* p = raw + 3 * i;
    SetEntry(i, bgr ? p[2] : p[0], p[1], bgr ? p[0] : p[2], 0);
  }
  return true;
}

bool QVRPal::Save(QVRResFile& file, int format) {
  if (!file.Good() || format < PAL_AUTO || format > PAL_BGR) return false;
  char text[64];
  switch (format) {
    case PAL_AUTO:
    case PAL_NATIVE:
      file.Write("QVRP", 4);
      file.Write32(m_count);
      if (m_count != 0) file.Write(m_entries, m_count * 4u);
      break;
    case PAL_GIMP:
      WriteText(file, "GIMP Palette\n# Generated by QVRPal\n");
      for (unsigned i = 0; i < m_count && file.Good(); ++i) {
        const uint8_t* e = m_entries + 4 * i;
        std::snprintf(text, sizeof text, "%d %d %d\tUnknown\n", e[0], e[1], e[2]);
        WriteText(file, text);
      }
      break;
    case PAL_JASC:
      WriteText(file, "JASC-PAL\n0100\n");
      std::snprintf(text, sizeof text, "%d\n", static_cast<int>(m_count));
      WriteText(file, text);
      for (unsigned i = 0; i < m_count && file.Good(); ++i) {
        const uint8_t* e = m_entries + 4 * i;
        std::snprintf(text, sizeof text, "%d %d %d\n", e[0], e[1], e[2]);
        WriteText(file, text);
      }
      break;
    default: {  // raw tables
      bool bgr = format == PAL_BGR;
      uint8_t raw[3 * 256];
      for (unsigned done = 0; done < m_count && file.Good();) {
        unsigned n = m_count - done < 256 ? m_count - done : 256;
        for (unsigned i = 0; i < n; ++i) {
          const uint8_t* e = m_entries + 4 * (done + i);
          raw[3 * i] = bgr ? e[2] : e[0];
          raw[3 * i + 1] = e[1];
          raw[3 * i + 2] = bgr ? e[0] : e[2];
        }
        file.Write(raw, 3 * n);
        done += n;
      }
      break;
    }
  }
  return file.Good();
}

void QVRPal::PrintInfo() const {
  QVR::LOG("Palette info (%d colors)\n---------------------------\n", static_cast<int>(m_count));
  for (unsigned i = 0; i < m_count; ++i) {
    const uint8_t* e = m_entries + 4 * i;
    char hex[8];
    hex[0] = '#';
    QVRParse::Dec2Hexa(e, 3, hex + 1);
    hex[7] = 0;
    QVR::LOG("[%3d] %s (%3d, %3d, %3d, %3d)\n", static_cast<int>(i), hex, e[0], e[1], e[2], e[3]);
  }
  QVR::LOG("\n");
}
