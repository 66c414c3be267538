// qvrlang: compiles a plain-text list of numbered strings into a "LanG"
// language file for QVRTranslator, and prints a language file back as such a
// list ("build" then "dump" then "build" gives the same bytes).
//
// Language file, little-endian: "LanG", 1 unused byte (0), N = name bytes
// with terminator, the name, then A (string slots), B (offset of the length
// table), C (offset of the data), D (data bytes); at B, A 16-bit lengths with
// terminator (0 = no string); at C, the strings back to back in number order.
#include <qvr3d/qvr3d.h>

#include "../common/atomic_write.h"
#include "../common/cli.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kMaxNumber = 0xFFFFFF;     // string numbers 0..16777215
constexpr size_t kMaxText = 65534;            // a length holds the terminator in 16 bits
constexpr size_t kMaxName = 254;              // N is one byte and counts the terminator
constexpr uint64_t kMaxFile = 0xFFFFFFFFull;  // offsets are 32 bits

const char kUsage[] =
    "Usage: qvrlang [-v] [-q] build SOURCE -o OUTPUT [--name NAME]\n"
    "       qvrlang [-v] [-q] dump FILE [-o OUTPUT]\n"
    "       qvrlang --help | --version | COMMAND --help\n"
    "\n"
    "build  compiles the text file SOURCE into the language file OUTPUT (the\n"
    "       binary \"LanG\" form QVRTranslator reads). --name sets the language\n"
    "       name and overrides an @name line of the source.\n"
    "dump   prints the language file FILE in the source form below, to OUTPUT\n"
    "       or to standard output. Building the dump gives the same file again.\n"
    "\n"
    "Options:\n"
    "  -v     name each file written, with its string count and size\n"
    "  -q     show errors only (no warnings about strings dump leaves out)\n"
    "\n"
    "Source format, one entry per line (UTF-8 or any byte encoding; stored as is):\n"
    "  # text            a comment (the first character that is not a blank is #)\n"
    "  @name English     the language name, at most 254 bytes, given once\n"
    "  12 Text here      string number 12: a decimal number, blanks, then the text\n"
    "                    up to the end of the line (trailing blanks are kept)\n"
    "  13                string 13 exists and is empty\n"
    "Empty lines are ignored, and so is a \"\\r\" before the line end. Numbers run\n"
    "from 0 to 16777215 in any order, each at most once; a number not given is a\n"
    "missing string (GetString gives null for it). A text holds at most 65534\n"
    "bytes. Escapes in texts and the name:\n"
    "  \\n line feed   \\t tab   \\r carriage return   \\\\ backslash\n"
    "  \\s space (for a space at the start or end of a text)\n"
    "  \\xHH the byte with the hex value HH (\\x00 only in texts)\n"
    "\n"
    "Outputs are written to a temporary file next to them and renamed into place,\n"
    "so a failed write never leaves a partial file. Messages go to standard error;\n"
    "the exit status is 0 on success, 1 when a file cannot be read, written or\n"
    "understood, 2 for a bad command line.\n";

const qvrtool::CommandHelp kCommandHelp[] = {
    {"build",
     "usage: qvrlang build SOURCE -o OUTPUT [--name NAME]\n"
     "Compiles the text file SOURCE into the language file OUTPUT, replacing an\n"
     "existing file only once the new one is complete. --name sets the language\n"
     "name and overrides an @name line of the source. `qvrlang --help` describes\n"
     "the source format.\n"},
    {"dump",
     "usage: qvrlang dump FILE [-o OUTPUT]\n"
     "Prints the language file FILE in the source form, to OUTPUT or to standard\n"
     "output; building the dump gives the same file again. Strings a translator\n"
     "would not hand out (past the data, no terminator) are reported.\n"},
};

using qvrtool::Error;
using qvrtool::g_logLevel;
using qvrtool::UsageError;

void Fail(const std::string& message) { Error("%s", message.c_str()); }

// Warnings give way to -q.
void Warn(const std::string& message) {
  if (g_logLevel >= QVR::LOG_WARN) Fail(message);
}

// Arguments of one command after option parsing.
struct Args {
  std::vector<std::string> positional;
  std::string output;  // -o
  std::string name;    // --name
  bool hasName = false;
  bool help = false;
};

// Parses the options a command accepts; anything else starting with "-" is an
// error. Returns false after printing the error.
bool ParseArgs(const std::string& command, int argc, char** argv, int first, Args& out) {
  const bool isBuild = command == "build";
  bool optionsDone = false;
  for (int i = first; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsDone || arg.size() < 2 || arg[0] != '-') {
      out.positional.push_back(arg);
    } else if (arg == "--") {
      optionsDone = true;
    } else if (arg == "-h" || arg == "--help") {
      out.help = true;
    } else if (arg == "-o" || (isBuild && arg == "--name")) {
      if (i + 1 == argc) {
        UsageError(command, arg + " needs a value");
        return false;
      }
      if (arg == "-o") {
        out.output = argv[++i];
      } else {
        out.name = argv[++i];
        out.hasName = true;
      }
    } else {
      UsageError(command, "unknown option '" + arg + "'");
      return false;
    }
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    Fail(path + ": is a folder");
    return false;
  }
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) {
    Fail(path + ": cannot open: " + std::strerror(errno));
    return false;
  }
  bytes.clear();
  char buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) bytes.append(buffer, got);
  const bool failed = std::ferror(in) != 0;
  const int error = errno;
  std::fclose(in);
  if (failed) {
    Fail(path + ": read error: " + std::strerror(error));
    return false;
  }
  return true;
}

// True for the names of Windows devices written to as files ("NUL", "CON");
// elsewhere devices are files and known by their status.
bool IsDeviceName(const std::string& path) {
#if defined(_WIN32)
  std::string name = path;
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (!name.empty() && name.back() == ':') name.pop_back();
  return name == "NUL" || name == "CON";
#else
  (void)path;
  return false;
#endif
}

// Writes `bytes` to `path` through a temporary file and a rename. An existing
// device or pipe (/dev/null, /dev/stdout, NUL on Windows) has nothing to
// replace and is written to directly.
bool WriteWholeFile(const std::string& path, const char* what, const std::string& bytes) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (IsDeviceName(path) ||
      (fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status))) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    bool ok = out != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    int error = errno;
    if (out != nullptr && std::fclose(out) != 0 && ok) {
      error = errno;
      ok = false;
    }
    if (!ok) Fail(path + ": cannot write the " + what + ": " + std::strerror(error));
    return ok;
  }
  return qvrtool::WriteAtomically(path, what, [&](QVRFile& file) {
    // Write takes 32-bit counts; a dump may be larger.
    constexpr size_t kChunk = size_t(1) << 20;
    for (size_t at = 0; at < bytes.size(); at += kChunk) {
      const unsigned count = unsigned(std::min(kChunk, bytes.size() - at));
      if (file.Write(bytes.data() + at, count) != count) return false;
    }
    return true;
  });
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Turns the escapes of `text` into bytes; false with `error` set otherwise.
bool Unescape(const std::string& text, bool allowZero, std::string& out, std::string& error) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\0') {
      error = "a raw 0 byte (write \\x00)";
      return false;
    }
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++i == text.size()) {
      error = "a backslash ends the line (write \\\\ for a backslash)";
      return false;
    }
    switch (text[i]) {
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      case 's':
        out += ' ';
        break;
      case '\\':
        out += '\\';
        break;
      case 'x': {
        const int high = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
        if (high < 0 || low < 0) {
          error = "\\x needs two hex digits";
          return false;
        }
        const char byte = static_cast<char>(high * 16 + low);
        if (byte == 0 && !allowZero) {
          error = "\\x00 cannot be part of the name";
          return false;
        }
        out += byte;
        i += 2;
        break;
      }
      default:
        error = std::string("unknown escape \\") + text[i];
        return false;
    }
  }
  return true;
}

// The source form of `text`: every byte the line syntax could lose or
// misread is escaped; bytes from 0x80 up stay as they are.
std::string Escape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\\':
        out += "\\\\";
        break;
      case ' ':
        out += (i == 0 || i + 1 == text.size()) ? "\\s" : " ";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          static const char kHex[] = "0123456789ABCDEF";
          out += "\\x";
          out += kHex[c >> 4];
          out += kHex[c & 15];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

struct Language {
  std::string name;
  bool hasName = false;
  std::map<uint32_t, std::string> strings;  // number -> text without terminator
};

bool ParseSource(const std::string& path, const std::string& source, Language& lang) {
  size_t start = 0;
  if (source.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;  // a UTF-8 mark from an editor
  unsigned lineNumber = 0;
  bool ok = true;
  while (start < source.size()) {
    size_t end = source.find('\n', start);
    if (end == std::string::npos) end = source.size();
    std::string line = source.substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string where = path + ":" + std::to_string(lineNumber) + ": ";

    size_t p = 0;
    while (p < line.size() && IsBlank(line[p])) ++p;
    if (p == line.size() || line[p] == '#') continue;
    std::string error;
    if (line[p] == '@') {
      size_t word = p + 1;
      while (word < line.size() && !IsBlank(line[word])) ++word;
      if (line.compare(p, word - p, "@name") != 0) {
        Fail(where + "unknown directive " + line.substr(p, word - p));
        ok = false;
        continue;
      }
      while (word < line.size() && IsBlank(line[word])) ++word;
      std::string name;
      if (lang.hasName) {
        Fail(where + "the language name is given twice");
        ok = false;
      } else if (!Unescape(line.substr(word), false, name, error)) {
        Fail(where + error);
        ok = false;
      } else {
        lang.name = name;
        lang.hasName = true;
      }
      continue;
    }
    if (line[p] < '0' || line[p] > '9') {
      Fail(where + "expected a string number, a # comment or @name");
      ok = false;
      continue;
    }
    uint64_t number = 0;
    while (p < line.size() && line[p] >= '0' && line[p] <= '9') {
      number = number * 10 + static_cast<unsigned>(line[p++] - '0');
      if (number > kMaxNumber) break;
    }
    if (number > kMaxNumber) {
      Fail(where + "string number above " + std::to_string(kMaxNumber));
      ok = false;
      continue;
    }
    if (p < line.size() && !IsBlank(line[p])) {
      Fail(where + "blanks must separate the number from the text");
      ok = false;
      continue;
    }
    while (p < line.size() && IsBlank(line[p])) ++p;
    std::string text;
    if (!Unescape(line.substr(p), true, text, error)) {
      Fail(where + error);
      ok = false;
    } else if (text.size() > kMaxText) {
      Fail(where + "text longer than " + std::to_string(kMaxText) + " bytes");
      ok = false;
    } else if (!lang.strings.emplace(static_cast<uint32_t>(number), text).second) {
      Fail(where + "string " + std::to_string(number) + " is given twice");
      ok = false;
    }
  }
  return ok;
}

void Put32(std::string& out, uint64_t value) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint32_t Get32(const std::string& bytes, size_t at) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data()) + at;
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The language file of `lang`; `source` names the source in messages.
bool Compile(const std::string& source, const Language& lang, std::string& out) {
  if (lang.name.empty()) {
    Fail(source + ": no language name: give --name NAME or an @name line");
    return false;
  }
  if (lang.name.size() > kMaxName) {
    Fail(source + ": the language name is longer than " + std::to_string(kMaxName) + " bytes");
    return false;
  }
  const uint64_t count = lang.strings.empty() ? 0 : lang.strings.rbegin()->first + 1ull;
  std::string lengths, data;
  lengths.reserve(2 * count);
  uint32_t next = 0;
  for (const auto& entry : lang.strings) {
    for (; next < entry.first; ++next) lengths.append(2, '\0');
    const size_t length = entry.second.size() + 1;
    lengths += static_cast<char>(length & 0xFF);
    lengths += static_cast<char>(length >> 8);
    data += entry.second;
    data += '\0';
    ++next;
  }
  const uint64_t tableAt = 6 + (lang.name.size() + 1) + 16;
  const uint64_t dataAt = tableAt + lengths.size();
  if (dataAt + data.size() > kMaxFile) {
    Fail(source + ": the strings do not fit in a language file (4 GiB)");
    return false;
  }
  out = "LanG";
  out += '\0';
  out += static_cast<char>(lang.name.size() + 1);
  out += lang.name;
  out += '\0';
  Put32(out, count);
  Put32(out, tableAt);
  Put32(out, dataAt);
  Put32(out, data.size());
  out += lengths;
  out += data;
  return true;
}

// Reads a language file with the checks QVRTranslator makes; strings it
// would not hand out are reported and left out.
bool Decompile(const std::string& path, const std::string& bytes, Language& lang) {
  if (bytes.size() < 6 || bytes.compare(0, 4, "LanG") != 0) {
    Fail(path + ": not a language file (no \"LanG\" mark)");
    return false;
  }
  const size_t n = static_cast<unsigned char>(bytes[5]);
  if (n == 0 || bytes.size() < 6 + n + 16) {
    Fail(path + ": " + (n == 0 ? "the language name is missing" : "the header is cut short"));
    return false;
  }
  const std::string field = bytes.substr(6, n - 1);
  lang.name = field.substr(0, field.find('\0'));
  lang.hasName = true;
  const uint64_t count = Get32(bytes, 6 + n), tableAt = Get32(bytes, 10 + n);
  const uint64_t dataAt = Get32(bytes, 14 + n), dataSize = Get32(bytes, 18 + n);
  if (tableAt + 2 * count > bytes.size() || dataAt + dataSize > bytes.size()) {
    Fail(path + ": the string table or data lie past the end of the file");
    return false;
  }
  if (count > kMaxNumber + 1ull) {
    Fail(path + ": more strings than a source can number");
    return false;
  }
  uint64_t offset = 0;
  for (uint64_t i = 0; i < count; ++i) {
    const size_t at = static_cast<size_t>(tableAt + 2 * i);
    const unsigned length =
        static_cast<unsigned char>(bytes[at]) | (static_cast<unsigned char>(bytes[at + 1]) << 8);
    if (length == 0) continue;
    if (offset + length > dataSize) {
      Warn(path + ": string " + std::to_string(i) + " lies past the data; left out");
    } else {
      const size_t from = static_cast<size_t>(dataAt + offset);
      if (bytes[from + length - 1] != '\0') {
        Warn(path + ": string " + std::to_string(i) +
             " has no terminator; its last byte is dropped");
      }
      lang.strings.emplace(static_cast<uint32_t>(i), bytes.substr(from, length - 1));
    }
    offset += length;
  }
  return true;
}

std::string SourceText(const Language& lang) {
  std::ostringstream out;
  out << "# Language file source: \"NUMBER TEXT\" per line (qvrlang --help)\n";
  out << "@name " << Escape(lang.name) << "\n";
  for (const auto& entry : lang.strings) {
    out << entry.first;
    if (!entry.second.empty()) out << ' ' << Escape(entry.second);
    out << '\n';
  }
  return out.str();
}

// With -v, one line on standard error for each file written.
void Report(const std::string& path, const Language& lang, size_t bytes) {
  if (g_logLevel < QVR::LOG_LOG) return;
  const size_t count = lang.strings.size();
  std::fprintf(stderr, "qvrlang: %s: %zu string%s of \"%s\", %zu bytes\n", path.c_str(), count,
               count == 1 ? "" : "s", Escape(lang.name).c_str(), bytes);
}

int CmdBuild(const Args& args) {
  if (args.positional.size() > 1) return UsageError("build", "more than one source file");
  if (args.positional.empty() || args.output.empty())
    return UsageError("build", "expects a SOURCE and -o OUTPUT");
  const std::string& source = args.positional[0];
  std::string text, bytes;
  Language lang;
  if (!ReadWholeFile(source, text)) return 1;
  if (!ParseSource(source, text, lang)) return 1;
  if (args.hasName) lang.name = args.name;
  if (!Compile(source, lang, bytes) || !WriteWholeFile(args.output, "language file", bytes))
    return 1;
  Report(args.output, lang, bytes.size());
  return 0;
}

int CmdDump(const Args& args) {
  if (args.positional.size() > 1) return UsageError("dump", "more than one language file");
  if (args.positional.empty()) return UsageError("dump", "expects a FILE");
  const std::string& file = args.positional[0];
  std::string bytes;
  Language lang;
  if (!ReadWholeFile(file, bytes) || !Decompile(file, bytes, lang)) return 1;
  const std::string text = SourceText(lang);
  if (!args.output.empty()) {
    if (!WriteWholeFile(args.output, "source text", text)) return 1;
    Report(args.output, lang, text.size());
    return 0;
  }
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    Fail(std::string("cannot write to standard output: ") + std::strerror(errno));
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  static const qvrtool::Tool kTool = {"qvrlang", kUsage, kCommandHelp,
                                      sizeof kCommandHelp / sizeof kCommandHelp[0], true};
  static const qvrtool::Command<Args> kCommands[] = {
      {"build", CmdBuild},
      {"dump", CmdDump},
  };
  return qvrtool::Run(kTool, argc, argv, kCommands, ParseArgs);
}
