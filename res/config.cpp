// QVRConfigMgr: typed settings table, command-line and file parsing, and the
// commented text file it saves.
#include "qvr3d/config.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>

#include "qvr3d/core.h"
#include "qvr3d/parse.h"
#include "qvr3d/string.h"

namespace {

// ctime's text for `time` in local time, spelt as the C standard spells it
// ("Thu Jan  1 02:00:00 1970\n") on every platform: Windows' runtime pads
// the day with a zero instead. "\n" when the time cannot be converted.
std::string DateText(time_t time) {
  const struct tm* local = std::localtime(&time);
  if (local == nullptr || local->tm_wday < 0 || local->tm_wday > 6 || local->tm_mon < 0 ||
      local->tm_mon > 11)
    return "\n";
  static const char kDays[] = "SunMonTueWedThuFriSat";
  static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  char text[64];
  std::snprintf(text, sizeof text, "%.3s %.3s%3d %.2d:%.2d:%.2d %d\n", kDays + 3 * local->tm_wday,
                kMonths + 3 * local->tm_mon, local->tm_mday, local->tm_hour, local->tm_min,
                local->tm_sec, 1900 + local->tm_year);
  return text;
}

// Lines of at most this many characters, plus the terminator.
constexpr unsigned kLineSize = 1024;

int CompareNoCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    int ca = static_cast<unsigned char>(*a);
    int cb = static_cast<unsigned char>(*b);
    if (ca >= 'A' && ca <= 'Z') ca += 'a' - 'A';
    if (cb >= 'A' && cb <= 'Z') cb += 'a' - 'A';
    if (ca != cb || ca == 0) return ca - cb;
  }
}

char* CopyText(const char* s) {
  if (!s) return nullptr;
  const size_t length = std::strlen(s);
  char* copy = new char[length + 1];
  std::memcpy(copy, s, length + 1);
  return copy;
}

// "1..." or exactly "true"/"yes" in any case: everything else is false.
bool TextToBool(const char* text) {
  return text[0] == '1' || CompareNoCase(text, "true") == 0 || CompareNoCase(text, "yes") == 0;
}

bool ReadColorValue(const char* text, unsigned char* color) {
  unsigned char rgba[4] = {0, 0, 0, 255};
  if (!QVRParse::ReadColor(text, rgba)) return false;
  std::memcpy(color, rgba, 4);
  return true;
}

bool ReadDateValue(const char* text, uint32_t& date) {
  unsigned long time = 0;
  if (!QVRParse::ReadDate(text, time)) return false;
  date = static_cast<uint32_t>(time);
  return true;
}

// Six significant digits, as a default-formatted stream writes a double. A
// value those digits cannot carry back (3.14159274 would read as 3.14159012)
// gets the fewest further digits that restore it exactly.
void FormatFloat(float value, char* out, size_t size) {
  std::snprintf(out, size, "%g", static_cast<double>(value));
  if (std::isnan(value)) return;
  for (int digits = 7; digits <= 9 && std::strtof(out, nullptr) != value; ++digits) {
    std::snprintf(out, size, "%.*g", digits, static_cast<double>(value));
  }
}

}  // namespace

QVRConfigMgr::QVRConfigMgr(unsigned capacity)
    : m_count(0), m_capacity(capacity < 4 ? 4 : capacity), m_cells(nullptr) {
  m_cells = new CfgCell[m_capacity]();
}

QVRConfigMgr::~QVRConfigMgr() {
  for (unsigned i = 0; i < m_count; ++i) {
    delete[] m_cells[i].name;
    if (m_cells[i].type == CFG_STRING) delete[] m_cells[i].value.strVal;
  }
  delete[] m_cells;
}

bool QVRConfigMgr::Grow() {
  if (m_capacity > 0x7FFFFFFFu) return false;
  const unsigned capacity = m_capacity * 2;
  CfgCell* cells = new (std::nothrow) CfgCell[capacity]();
  if (!cells) return false;
  std::memcpy(static_cast<void*>(cells), m_cells, m_count * sizeof(CfgCell));
  delete[] m_cells;
  m_cells = cells;
  m_capacity = capacity;
  return true;
}

bool QVRConfigMgr::Find(const char* name, unsigned& position) const {
  if (!name || !*name) return false;
  // Signed bounds: high goes to -1 when the name sorts before the first cell.
  long long low = 0, high = static_cast<long long>(m_count) - 1;
  while (low <= high) {
    const long long middle = (low + high) / 2;
    const int order = CompareNoCase(name, m_cells[middle].name);
    if (order == 0) {
      position = static_cast<unsigned>(middle);
      return true;
    }
    if (order < 0) {
      high = middle - 1;
    } else {
      low = middle + 1;
    }
  }
  position = static_cast<unsigned>(low);
  return false;
}

bool QVRConfigMgr::AddParameter(const char* name, int type, CfgValue value) {
  unsigned position = 0;
  if (!name || !*name || Find(name, position)) return false;
  if (m_count == m_capacity && !Grow()) return false;
  std::memmove(static_cast<void*>(m_cells + position + 1), m_cells + position,
               (m_count - position) * sizeof(CfgCell));
  CfgCell& cell = m_cells[position];
  cell.name = CopyText(name);
  cell.type = type;
  cell.value = value;
  if (type == CFG_STRING) cell.value.strVal = CopyText(value.strVal);
  ++m_count;
  return true;
}

bool QVRConfigMgr::RemoveParameter(const char* name) {
  unsigned position = 0;
  if (m_count == 0 || !Find(name, position)) return false;
  delete[] m_cells[position].name;
  if (m_cells[position].type == CFG_STRING) delete[] m_cells[position].value.strVal;
  std::memmove(static_cast<void*>(m_cells + position), m_cells + position + 1,
               (m_count - position - 1) * sizeof(CfgCell));
  --m_count;
  std::memset(static_cast<void*>(m_cells + m_count), 0, sizeof(CfgCell));
  return true;
}

int QVRConfigMgr::ParamType(const char* name) const {
  const CfgCell* cell = GetCell(name);
  return cell ? cell->type : 0;
}

QVRConfigMgr::CfgCell* QVRConfigMgr::GetCell(const char* name) const {
  unsigned position = 0;
  return Find(name, position) ? &m_cells[position] : nullptr;
}

QVRConfigMgr::CfgValue QVRConfigMgr::GetValue(const char* name, int /*type*/) const {
  const CfgCell* cell = GetCell(name);
  if (cell) return cell->value;
  CfgValue zero;
  std::memset(&zero, 0, sizeof zero);
  return zero;
}

bool QVRConfigMgr::SetValue(const char* name, int type, CfgValue value, bool changeType) {
  CfgCell* cell = GetCell(name);
  if (!cell) return false;
  if (type != cell->type && !changeType) return false;
  // Copy before releasing: the new string may be the stored one.
  char* copy = type == CFG_STRING ? CopyText(value.strVal) : nullptr;
  if (cell->type == CFG_STRING) delete[] cell->value.strVal;
  cell->type = type;
  cell->value = value;
  if (type == CFG_STRING) cell->value.strVal = copy;
  return true;
}

bool QVRConfigMgr::ParseCL(int argc, char** argv) {
  bool understood = true;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (!arg) continue;
    if (arg[0] != '-') {
      QVR::LOG("Config: ignored value %s\n", arg);
      understood = false;
      continue;
    }
    CfgCell* cell = GetCell(arg + 1);
    if (!cell) {
      QVR::LOG("Config: unknown parameter %s\n", arg);
      understood = false;
      continue;
    }
    const bool hasNext = i + 1 < argc && argv[i + 1];
    const char* next = hasNext ? argv[i + 1] : nullptr;
    switch (cell->type) {
      case CFG_BOOL:
        if (!hasNext || next[0] == '-') {
          cell->value.boolVal = true;
        } else {
          cell->value.boolVal = TextToBool(next);
          ++i;
        }
        break;
      case CFG_INT:
      case CFG_FLOAT:
      case CFG_DATE: {
        bool read = false;
        if (hasNext) {
          if (cell->type == CFG_INT) {
            read = QVRParse::ReadInt(next, cell->value.intVal) != nullptr;
          } else if (cell->type == CFG_FLOAT) {
            read = QVRParse::ReadFloat(next, cell->value.floatVal) != nullptr;
          } else {
            read = ReadDateValue(next, cell->value.date);
          }
          ++i;  // a bad value is consumed all the same
        }
        if (!read) {
          QVR::LOG("Config: missing value for param %s\n", arg);
          understood = false;
        }
        break;
      }
      case CFG_STRING: {
        if (!hasNext) {
          QVR::LOG("Config: missing value for param %s\n", arg);
          understood = false;
          break;
        }
        QVRString joined(next);
        ++i;
        while (i + 1 < argc && argv[i + 1] && argv[i + 1][0] != '-') {
          joined += ' ';
          joined += argv[++i];
        }
        delete[] cell->value.strVal;
        cell->value.strVal = CopyText(joined.Text() ? joined.Text() : "");
        break;
      }
      case CFG_COLOR:
        if (!hasNext || next[0] != '#') {
          QVR::LOG("Config: missing value for param %s\n", arg);
          understood = false;
          break;
        }
        ++i;
        if (!ReadColorValue(next, cell->value.color)) understood = false;
        break;
      default:
        QVR::LOG("Config: unknown value type %d\n", cell->type);
        understood = false;
        break;
    }
  }
  return understood;
}

bool QVRConfigMgr::SetFromText(CfgCell& cell, const char* value) {
  switch (cell.type) {
    case CFG_BOOL:
      cell.value.boolVal = TextToBool(value);
      return true;
    case CFG_INT:
      if (QVRParse::ReadInt(value, cell.value.intVal)) return true;
      QVR::LOG("Config: bad int value for param %s : %s\n", cell.name, value);
      return false;
    case CFG_FLOAT:
      if (QVRParse::ReadFloat(value, cell.value.floatVal)) return true;
      QVR::LOG("Config: bad float value for param %s : %s\n", cell.name, value);
      return false;
    case CFG_COLOR:
      if (ReadColorValue(value, cell.value.color)) return true;
      QVR::LOG("Config: bad color value for param %s : %s\n", cell.name, value);
      return false;
    case CFG_DATE:
      if (ReadDateValue(value, cell.value.date)) return true;
      QVR::LOG("Config: bad date value for param %s : %s\n", cell.name, value);
      return false;
    case CFG_STRING:
      delete[] cell.value.strVal;
      cell.value.strVal = CopyText(value);
      return true;
    default:
      QVR::LOG("Config: unknown value type %d\n", cell.type);
      return false;
  }
}

bool QVRConfigMgr::ParseFile(const char* fileName) {
  if (!fileName || !*fileName) return false;
  FILE* file = std::fopen(fileName, "r");
  if (!file) return false;
  bool anySet = false;
  char line[kLineSize];
  while (std::fgets(line, sizeof line, file)) {
    size_t length = std::strlen(line);
    if (length > 0 && line[length - 1] == '\n') {
      line[--length] = 0;
    } else if (!std::feof(file)) {
      // The buffer filled up: a line of exactly the limit still ends here,
      // anything longer ends the reading.
      const int c = std::fgetc(file);
      if (c != '\n' && c != EOF) break;
    }
    // A file written on Windows read here keeps its "\r": drop it so that
    // values do not end in a stray carriage return.
    if (length > 0 && line[length - 1] == '\r') line[--length] = 0;
    if (length == 0 || line[0] == '#') continue;

    char* name = line[0] == '-' ? line + 1 : line;
    char* end = name;
    while (*end && *end != ' ' && *end != '\t') ++end;
    char* value = end;
    while (*value == ' ' || *value == '\t') ++value;
    *end = 0;

    CfgCell* cell = GetCell(name);
    if (!cell) {
      QVR::LOG("Config: unknown parameter %s\n", name);
      continue;
    }
    if (!*value) {
      QVR::LOG("Config: missing value for param %s\n", name);
      continue;
    }
    if (SetFromText(*cell, value)) anySet = true;
  }
  std::fclose(file);
  return anySet;
}

bool QVRConfigMgr::Save(const char* fileName, const char* comment) const {
  if (!fileName || !*fileName) return false;
  FILE* file = std::fopen(fileName, "wb");
  if (!file) return false;
  std::fputs("#\n", file);
  if (comment) std::fprintf(file, "# %s\n", comment);
  std::fputs("# Configuration file\n#\n\n", file);
  for (unsigned i = 0; i < m_count; ++i) {
    const CfgCell& cell = m_cells[i];
    std::fprintf(file, "%s\t", cell.name);
    switch (cell.type) {
      case CFG_BOOL:
        std::fputs(cell.value.boolVal ? "true" : "false", file);
        break;
      case CFG_INT:
        std::fprintf(file, "%d", static_cast<int>(cell.value.intVal));
        break;
      case CFG_FLOAT: {
        char text[32];
        FormatFloat(cell.value.floatVal, text, sizeof text);
        std::fputs(text, file);
        break;
      }
      case CFG_STRING:
        if (cell.value.strVal) std::fputs(cell.value.strVal, file);
        break;
      case CFG_COLOR:
        std::fputs(QVRParse::Color2Hexa(cell.value.color, false), file);
        break;
      case CFG_DATE: {
        const time_t time = static_cast<time_t>(cell.value.date);
        if (const struct tm* local = std::localtime(&time)) {
          std::fprintf(file, "%4d/%02d/%02d %02d:%02d:%02d", local->tm_year + 1900,
                       local->tm_mon + 1, local->tm_mday, local->tm_hour, local->tm_min,
                       local->tm_sec);
        }
        break;
      }
      default:
        break;
    }
    std::fputc('\n', file);
  }
  const bool written = !std::ferror(file);
  return std::fclose(file) == 0 && written;
}

void QVRConfigMgr::PrintInfo() const {
  QVR::LOG("Configuration (%d parameters):\n", static_cast<int>(m_count));
  for (unsigned i = 0; i < m_count; ++i) {
    const CfgCell& cell = m_cells[i];
    QVR::LOG("- %s (", cell.name);
    switch (cell.type) {
      case CFG_BOOL:
        QVR::LOG("bool): %s\n", cell.value.boolVal ? "true" : "false");
        break;
      case CFG_INT:
        QVR::LOG("int): %d\n", static_cast<int>(cell.value.intVal));
        break;
      case CFG_FLOAT:
        QVR::LOG("float): %f\n", static_cast<double>(cell.value.floatVal));
        break;
      case CFG_STRING:
        QVR::LOG("string): %s\n", cell.value.strVal ? cell.value.strVal : "");
        break;
      case CFG_COLOR: {
        const unsigned char* c = cell.value.color;
        QVR::LOG("color): %s [%d, %d, %d, %d]\n", QVRParse::Color2Hexa(c, false), c[0], c[1], c[2],
                 c[3]);
        break;
      }
      case CFG_DATE: {
        const time_t time = static_cast<time_t>(cell.value.date);
        QVR::LOG("date): %s (%d)\n", DateText(time).c_str(), static_cast<int>(cell.value.date));
        break;
      }
      default:
        break;
    }
  }
}
