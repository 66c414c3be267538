// qvrfont: makes the library's bitmap font files from TrueType and OpenType fonts (through
// FreeType) and from sheet images of fixed cells, describes them and renders text with them.
// Built on the public API only.
#include <qvr3d/qvr3d.h>

#include "../common/cli.h"
#include "qvrfont.h"

#include "../common/atomic_write.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const kUsage =
    "usage: qvrfont [-v] [-q] COMMAND [ARGS...]\n"
    "\n"
    "Commands:\n"
    "  build FONT -o OUT --size PX [--depth 1|2|8] [--range A-B] [--name NAME]\n"
    "        [--spacing N] [--space N]\n"
    "                                  render a TrueType or OpenType font into a font file\n"
    "  grid SHEET -o OUT --cell WxH [--first CODE] [--baseline ROW] [--name NAME]\n"
    "       [--spacing N] [--space N]\n"
    "                                  cut a sheet image of fixed cells into a font file\n"
    "  info FILE [--chars] [--text TEXT]  describe a font file\n"
    "  render FILE TEXT -o OUT [--scale N]  draw TEXT with the font into a BMP, TGA or PCX\n"
    "\n"
    "Options:\n"
    "  -v        show the library's messages and what was made (twice: debug messages too)\n"
    "  -q        show errors only\n"
    "  -h, --help  this text; `qvrfont COMMAND --help` shows one command\n"
    "\n"
    "Outputs are written to a temporary file next to them and renamed into place, so a failed\n"
    "write never leaves a partial file. Messages go to standard error.\n"
    "Exit status: 0 on success, 1 when an operation failed, 2 on a usage error.\n";

const qvrtool::CommandHelp kCommandHelp[] = {
    {"build",
     "usage: qvrfont build FONT -o OUT --size PX [--depth 1|2|8] [--range A-B] [--name NAME]\n"
     "                     [--spacing N] [--space N]\n"
     "Renders the codes A to B (default 32-126; codes 128-255 are Latin-1) of the TrueType or\n"
     "OpenType font FONT at PX pixels (1-255) with FreeType and writes them as a font file.\n"
     "  --depth 1  one bit per pixel, coverage thresholded at half (default; what DrawText\n"
     "             paints in its one colour)\n"
     "  --depth 2  four coverage levels, drawn in the four colours of DrawTextEx\n"
     "  --depth 8  the full coverage, 0-255\n"
     "  --name     the font's name (default: family, style and size, \"DejaVu Sans 12\")\n"
     "  --spacing  extra pixels after every character (default 0: the advances already hold\n"
     "             the font's own spacing)\n"
     "  --space    the advance of a space (default: the font's)\n"
     "Ascent and descent come from the font's metrics; each glyph is as wide as its advance.\n"
     "Codes the font lacks get no glyph; the space code never gets one.\n"},
    {"grid",
     "usage: qvrfont grid SHEET -o OUT --cell WxH [--first CODE] [--baseline ROW] [--name NAME]\n"
     "                    [--spacing N] [--space N]\n"
     "Cuts the image SHEET (BMP, GIF, PCX or TGA) into cells of W x H pixels (1-255 each), read\n"
     "left to right and top to bottom, for the codes from CODE on (default 32, at most up to\n"
     "255). Pixels that differ from the one at the top left corner are ink; each glyph loses the\n"
     "empty columns on its right, so the font is proportional, and an empty cell gives no glyph.\n"
     "  --baseline  the row of the cell (0 = top) that sits on the baseline (default: the last)\n"
     "  --name      the font's name (default: SHEET's name without its extension)\n"
     "  --spacing   extra pixels after every character (default 1)\n"
     "  --space     the advance of a space (default: half the cell width)\n"
     "The font has one bit per pixel.\n"},
    {"info",
     "usage: qvrfont info FILE [--chars] [--text TEXT]\n"
     "Prints the name, code range, spacing, space width, ascent, descent and depth of the font\n"
     "file FILE (either version of the format); --chars adds every glyph record (x, y, width,\n"
     "height, descent), --text the width and height of one line of TEXT (UTF-8 or Latin-1).\n"},
    {"render",
     "usage: qvrfont render FILE TEXT -o OUT [--scale N]\n"
     "Draws one line of TEXT (UTF-8 or Latin-1) with the font file FILE, black on white with a\n"
     "2-pixel margin, and writes the image to OUT: .bmp, .tga or .pcx (8 bits with a palette).\n"
     "Depth-2 fonts are drawn in three greys and black, as DrawTextEx does; others as DrawText\n"
     "does, every set pixel black. --scale N (1-16) enlarges the image N times.\n"},
};

using qvrtool::WriteAtomically;
using qvrtool::Error;
using qvrtool::g_logLevel;
using qvrtool::UsageError;

// Arguments of one command after option parsing: positional ones in order, options by name
// ("--size"), flags with an empty value.
struct Args {
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;
  bool help = false;

  bool Has(const char* name) const { return options.count(name) != 0; }
  const std::string& Get(const char* name) const { return options.at(name); }
};

struct OptionSpec {
  const char* command;
  const char* name;
  bool takesValue;
};

const OptionSpec kOptions[] = {
    {"build", "-o", true},       {"build", "--size", true},    {"build", "--depth", true},
    {"build", "--range", true},  {"build", "--name", true},    {"build", "--spacing", true},
    {"build", "--space", true},  {"grid", "-o", true},         {"grid", "--cell", true},
    {"grid", "--first", true},   {"grid", "--baseline", true}, {"grid", "--name", true},
    {"grid", "--spacing", true}, {"grid", "--space", true},    {"info", "--chars", false},
    {"info", "--text", true},    {"render", "-o", true},       {"render", "--scale", true},
};

const OptionSpec* FindOption(const std::string& command, const std::string& name) {
  for (const OptionSpec& spec : kOptions)
    if (command == spec.command && name == spec.name) return &spec;
  return nullptr;
}

// Accepts "--opt VALUE", "--opt=VALUE" and "-o VALUE"; anything else starting with "-" is an
// error. Returns false after printing the error.
bool ParseArgs(const std::string& command, int argc, char** argv, int first, Args& out) {
  bool optionsDone = false;
  for (int i = first; i < argc; ++i) {
    std::string arg = argv[i];
    if (optionsDone || arg.size() < 2 || arg[0] != '-') {
      out.positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsDone = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      out.help = true;
      continue;
    }
    std::string name = arg, value;
    const size_t equals = arg.find('=');
    const bool inlineValue = arg.compare(0, 2, "--") == 0 && equals != std::string::npos;
    if (inlineValue) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
    }
    const OptionSpec* spec = FindOption(command, name);
    if (!spec) {
      UsageError(command, "unknown option '" + name + "'");
      return false;
    }
    if (!spec->takesValue) {
      if (inlineValue) {
        UsageError(command, name + " takes no value");
        return false;
      }
    } else if (!inlineValue) {
      if (i + 1 >= argc) {
        UsageError(command, name + " needs a value");
        return false;
      }
      value = argv[++i];
    }
    if (spec->takesValue && value.empty() && name != "--text") {
      UsageError(command, name + " needs a value");
      return false;
    }
    out.options[name] = value;
  }
  return true;
}

// A decimal number in min .. max; false (nothing printed) otherwise.
bool ParseNumber(const std::string& text, unsigned min, unsigned max, unsigned& value) {
  if (text.empty() || text.size() > 9 ||
      !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
    return false;
  value = unsigned(std::stoul(text));
  return value >= min && value <= max;
}

// Reads the numeric option `name` into `value` when given; false after a usage message.
bool NumberOption(const std::string& command, const Args& args, const char* name, unsigned min,
                  unsigned max, unsigned& value) {
  if (!args.Has(name)) return true;
  if (ParseNumber(args.Get(name), min, max, value)) return true;
  UsageError(command, std::string(name) + " must be a number from " + std::to_string(min) + " to " +
                          std::to_string(max) + ", not '" + args.Get(name) + "'");
  return false;
}

// "A-B" (or a single code) into first and last; false after a usage message.
bool ParseRange(const std::string& text, unsigned& first, unsigned& last) {
  const size_t dash = text.find('-');
  const std::string a = text.substr(0, dash);
  const std::string b = dash == std::string::npos ? a : text.substr(dash + 1);
  if (!ParseNumber(a, 0, 255, first) || !ParseNumber(b, 0, 255, last) || first > last) {
    UsageError("build", "--range must be A-B with 0 <= A <= B <= 255, not '" + text + "'");
    return false;
  }
  return true;
}

// The text of a command line as the font's codes: UTF-8 decoded to Latin-1 when it is valid
// UTF-8, otherwise taken byte for byte. False, after a message, for a character past U+00FF.
bool ToFontCodes(const std::string& text, std::string& codes) {
  std::string decoded;
  bool valid = true;
  for (size_t i = 0; i < text.size() && valid;) {
    const unsigned char lead = text[i];
    unsigned length = lead < 0x80             ? 1
                      : (lead & 0xE0) == 0xC0 ? 2
                      : (lead & 0xF0) == 0xE0 ? 3
                      : (lead & 0xF8) == 0xF0 ? 4
                                              : 0;
    if (length == 0 || i + length > text.size()) {
      valid = false;
      break;
    }
    unsigned cp = length == 1 ? lead : lead & (0x7F >> length);
    for (unsigned k = 1; k < length; ++k) {
      const unsigned char next = text[i + k];
      if ((next & 0xC0) != 0x80) valid = false;
      cp = cp << 6 | (next & 0x3F);
    }
    if (!valid) break;
    // Overlong forms are not UTF-8; such bytes are Latin-1 text.
    static const unsigned kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kSmallest[length] || cp > 0x10FFFF) {
      valid = false;
      break;
    }
    if (cp > 0xFF) {
      Error("the character U+%04X is not among the font's codes (0-255, Latin-1)", cp);
      return false;
    }
    decoded += char(cp);
    i += length;
  }
  codes = valid ? decoded : text;
  return true;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return s;
}

// Checks a --name: the file format stores at most 254 bytes. False after a usage message.
bool CheckName(const std::string& command, const std::string& name) {
  if (name.size() <= 254) return true;
  UsageError(command, "--name holds at most 254 bytes");
  return false;
}

bool SaveFont(QVRFont& font, const std::string& out) {
  return WriteAtomically(out, "font file", [&](QVRFile& f) { return font.Save(f, 0); });
}

// The -o option of a command, or "" after a usage message.
std::string OutputOption(const std::string& command, const Args& args) {
  if (args.Has("-o")) return args.Get("-o");
  UsageError(command, "needs -o OUT");
  return std::string();
}

int CmdBuild(const Args& args) {
  const std::string command = "build";
  if (args.positional.size() != 1) return UsageError(command, "expects one FONT");
  const std::string out = OutputOption(command, args);
  if (out.empty()) return 2;
  qvrfont::BuildOptions options;
  options.fontPath = args.positional[0];
  if (!args.Has("--size")) return UsageError(command, "needs --size PX");
  unsigned spacing = 0, space = 0;
  if (!NumberOption(command, args, "--size", 1, 255, options.size) ||
      !NumberOption(command, args, "--spacing", 0, 255, spacing) ||
      !NumberOption(command, args, "--space", 0, 255, space))
    return 2;
  if (args.Has("--depth")) {
    const std::string& depth = args.Get("--depth");
    if (depth != "1" && depth != "2" && depth != "8")
      return UsageError(command, "--depth must be 1, 2 or 8, not '" + depth + "'");
    options.depth = unsigned(std::stoul(depth));
  }
  if (args.Has("--range") && !ParseRange(args.Get("--range"), options.first, options.last))
    return 2;
  if (args.Has("--name") && !CheckName(command, args.Get("--name"))) return 2;
  if (!qvrfont::CheckInput(options.fontPath)) return 1;

  qvrfont::RenderedFont rendered;
  if (!qvrfont::RenderTrueType(options, rendered)) return 1;
  std::string name = args.Has("--name") ? args.Get("--name") : rendered.familyName;
  if (!args.Has("--name")) {
    if (name.empty()) name = fs::path(options.fontPath).stem().string();
    name = name.substr(0, 250) + " " + std::to_string(options.size);
  }
  std::unique_ptr<QVRFont> font = qvrfont::PackFont(rendered, name, options.depth);
  if (!font) return 1;
  font->SetSpacing(uint8_t(spacing));
  if (!args.Has("--space"))
    space = rendered.hasSpace ? std::min(rendered.spaceAdvance, 255u) : (options.size + 3) / 4;
  font->SetWhiteSize(uint8_t(space));
  if (!SaveFont(*font, out)) return 1;
  if (g_logLevel >= QVR::LOG_LOG) {
    unsigned glyphs = 0;
    for (unsigned c = rendered.first; c <= rendered.last; ++c)
      glyphs += font->CharWidth(static_cast<unsigned char>(c)) != 0 && c != ' ' && c != 9;
    std::printf(
        "%s: \"%s\", codes %u-%u, %u glyphs, sheet %u x %u, depth %u, ascent %d, "
        "descent %d, space %u%s\n",
        out.c_str(), name.c_str(), rendered.first, rendered.last, glyphs, font->GetSheetWidth(),
        font->GetSheetHeight(), font->GetDepth(), font->GetAscent(), font->GetDescent(), space,
        rendered.hasSpace || args.Has("--space") ? "" : " (the font has no space)");
  }
  return 0;
}

// "WxH" with both in 1 .. 255.
bool ParseCell(const std::string& text, unsigned& width, unsigned& height) {
  const size_t x = Lower(text).find('x');
  return x != std::string::npos && ParseNumber(text.substr(0, x), 1, 255, width) &&
         ParseNumber(text.substr(x + 1), 1, 255, height);
}

int CmdGrid(const Args& args) {
  const std::string command = "grid";
  if (args.positional.size() != 1) return UsageError(command, "expects one SHEET");
  const std::string out = OutputOption(command, args);
  if (out.empty()) return 2;
  const std::string& path = args.positional[0];
  qvrfont::GridOptions options;
  if (!args.Has("--cell")) return UsageError(command, "needs --cell WxH");
  if (!ParseCell(args.Get("--cell"), options.cellWidth, options.cellHeight))
    return UsageError(
        command, "--cell must be WxH with both from 1 to 255, not '" + args.Get("--cell") + "'");
  options.baseline = options.cellHeight - 1;
  unsigned spacing = 1, space = (options.cellWidth + 1) / 2;
  if (!NumberOption(command, args, "--first", 0, 255, options.first) ||
      !NumberOption(command, args, "--baseline", 0, options.cellHeight - 1, options.baseline) ||
      !NumberOption(command, args, "--spacing", 0, 255, spacing) ||
      !NumberOption(command, args, "--space", 0, 255, space))
    return 2;
  if (args.Has("--name") && !CheckName(command, args.Get("--name"))) return 2;
  std::string name =
      args.Has("--name") ? args.Get("--name") : fs::path(path).stem().string().substr(0, 254);
  if (name.empty()) name = "font";

  QVRImage sheet;
  if (!qvrfont::LoadImage(path, sheet)) return 1;
  std::unique_ptr<QVRFont> font = qvrfont::CutGrid(sheet, options, name, path);
  if (!font) return 1;
  font->SetSpacing(uint8_t(spacing));
  font->SetWhiteSize(uint8_t(space));
  if (!SaveFont(*font, out)) return 1;
  if (g_logLevel >= QVR::LOG_LOG) {
    unsigned glyphs = 0;
    for (unsigned c = font->GetFirstChar(); c <= font->GetLastChar(); ++c)
      glyphs += c != ' ' && font->CharWidth(static_cast<unsigned char>(c)) != 0;
    std::printf("%s: \"%s\", codes %u-%u, %u glyphs, sheet %u x %u\n", out.c_str(), name.c_str(),
                font->GetFirstChar(), font->GetLastChar(), glyphs, font->GetSheetWidth(),
                font->GetSheetHeight());
  }
  return 0;
}

int CmdInfo(const Args& args) {
  if (args.positional.size() != 1) return UsageError("info", "expects one FILE");
  std::string codes;
  if (args.Has("--text") && !ToFontCodes(args.Get("--text"), codes)) return 1;
  QVRFont font;
  if (!qvrfont::LoadFont(args.positional[0], font)) return 1;
  // The description is the library's own at LOG level; print it on standard output whatever the
  // chosen verbosity, then go back to the normal routing.
  std::fflush(stderr);
  QVR::SetLogTarget(0, nullptr);
  QVR::SetLogLevel(std::max<unsigned>(g_logLevel, QVR::LOG_LOG));
  font.PrintInfo(args.Has("--chars"));
  QVR::SetLogLevel(g_logLevel);
  QVR::SetLogTarget(1, nullptr);
  if (args.Has("--text")) {
    unsigned width = 0, height = 0;
    font.TextSize(codes.data(), width, height, unsigned(codes.size()));
    std::printf("Text \"%s\": width %u, height %u\n", args.Get("--text").c_str(), width, height);
  }
  return 0;
}

struct NamedFormat {
  const char* extension;
  int id;
};

const NamedFormat kRenderFormats[] = {
    {"bmp", QVRImage::IMG_BMP},
    {"tga", QVRImage::IMG_TGA},
    {"pcx", QVRImage::IMG_PCX},
};

int CmdRender(const Args& args) {
  const std::string command = "render";
  if (args.positional.size() != 2) return UsageError(command, "expects FILE and TEXT");
  const std::string out = OutputOption(command, args);
  if (out.empty()) return 2;
  unsigned scale = 1;
  if (!NumberOption(command, args, "--scale", 1, 16, scale)) return 2;
  std::string ext = Lower(fs::path(out).extension().string());
  int format = -1;
  for (const NamedFormat& f : kRenderFormats)
    if (ext == std::string(".") + f.extension) format = f.id;
  if (format < 0)
    return UsageError(command, "cannot tell the format of '" + out +
                                   "' from its extension (.bmp, .tga and .pcx are known)");
  if (args.positional[1].empty()) return UsageError(command, "TEXT is empty");
  std::string codes;
  if (!ToFontCodes(args.positional[1], codes)) return 1;
  QVRFont font;
  if (!qvrfont::LoadFont(args.positional[0], font)) return 1;

  // The rows above and below the baseline that the text's glyphs reach, as TextSize counts them.
  int above = 0, below = 0;
  std::set<unsigned char> missing;
  for (unsigned char c : codes) {
    if (c == ' ' || c == 9) continue;
    const QVRChar* glyph = font.GetChar(c);
    if (!glyph || glyph->width == 0) {
      missing.insert(c);
      continue;
    }
    above = std::max(above, int(glyph->height) - glyph->descent);
    below = std::max(below, int(glyph->descent));
  }
  if (g_logLevel >= QVR::LOG_WARN)
    for (unsigned char c : missing)
      Error("warning: the font has no glyph for code %u%s", c,
            c == 10 ? " (line feed; render draws a single line)" : "");

  const unsigned margin = 2;
  const unsigned textWidth = font.TextWidth(codes.data(), unsigned(codes.size()));
  const uint64_t width = (uint64_t(textWidth) + 2 * margin) * scale;
  const uint64_t height = (uint64_t(above) + below + 2 * margin) * scale;
  // Images keep their clip rectangle in 16 bits.
  if (width > 32767 || height > 32767) {
    Error(
        "the text would make an image of %llu x %llu pixels; at most 32767 x 32767 can be "
        "drawn",
        (unsigned long long)width, (unsigned long long)height);
    return 1;
  }
  const unsigned w = unsigned(width / scale), h = unsigned(height / scale);
  QVRImage img(w, h, 8);
  if (!img.GetPixels()) {
    Error("cannot allocate a %u x %u image", w, h);
    return 1;
  }
  std::memset(img.GetPixels(), 0, size_t(img.GetPitch()) * h);
  const int baseline = int(margin) + above - 1;
  if (font.GetDepth() == 2) {
    FontParams params = {&font, ALIGN_BASELINE, {0, 1, 2, 3}};
    img.DrawTextEx(int(margin), baseline, codes.data(), params, int(codes.size()));
  } else {
    img.DrawText(int(margin), baseline, codes.data(), 3, &font, ALIGN_BASELINE, int(codes.size()));
  }

  QVRImage scaled(unsigned(width), unsigned(height), 8);
  if (!scaled.GetPixels()) {
    Error("cannot allocate a %llu x %llu image", (unsigned long long)width,
          (unsigned long long)height);
    return 1;
  }
  for (unsigned y = 0; y < scaled.GetHeight(); ++y)
    for (unsigned x = 0; x < scaled.GetWidth(); ++x)
      scaled.GetPixels()[size_t(y) * scaled.GetPitch() + x] =
          img.GetPixels()[size_t(y / scale) * img.GetPitch() + x / scale];
  // White paper, two greys for the weaker levels of a depth-2 font, black ink.
  QVRPal pal(4);
  pal.SetEntry(0, 255, 255, 255);
  pal.SetEntry(1, 170, 170, 170);
  pal.SetEntry(2, 85, 85, 85);
  pal.SetEntry(3, 0, 0, 0);
  scaled.SetPalette(&pal, 0, 4);
  return WriteAtomically(out, "image", [&](QVRFile& f) { return scaled.Save(f, format); }) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  static const qvrtool::Tool kTool = {"qvrfont", kUsage, kCommandHelp,
                                      sizeof kCommandHelp / sizeof kCommandHelp[0]};
  static const qvrtool::Command<Args> kCommands[] = {
      {"build", CmdBuild},
      {"grid", CmdGrid},
      {"info", CmdInfo},
      {"render", CmdRender},
  };
  return qvrtool::Run(kTool, argc, argv, kCommands, ParseArgs);
}
