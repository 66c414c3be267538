// qvrimg: describes image files, converts them between the formats the library writes (BMP, TGA,
// run-length TGA, PCX) and extracts the palette of 8-bit images into palette files. Built on the
// public API only.
#include <qvr3d/qvr3d.h>

#include "../common/atomic_write.h"
#include "../common/cli.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const kUsage =
    "usage: qvrimg [-v] [-q] COMMAND [ARGS...]\n"
    "\n"
    "Commands:\n"
    "  info FILE...                    format, size, depth and palette size of each image\n"
    "  convert IN OUT [--format F]     convert IN to OUT; F is bmp, tga, tga-rle or pcx\n"
    "                                  (default: from OUT's extension)\n"
    "  palette IN OUT [--format F]     write the palette of an 8-bit image; F is gimp, jasc,\n"
    "                                  qvrp, rgb or bgr (default: from OUT's extension)\n"
    "\n"
    "Options:\n"
    "  -v        show the library's messages (twice: its debug messages too)\n"
    "  -q        show errors only\n"
    "  -h, --help  this text; `qvrimg COMMAND --help` shows one command\n"
    "\n"
    "Images are read as BMP, GIF, PCX, TGA or font-file glyph sheets, detected from their first\n"
    "bytes. Outputs are written to a temporary file next to them and renamed into place, so a\n"
    "failed write never leaves a partial file. Messages go to standard error.\n"
    "Exit status: 0 on success, 1 when an operation failed, 2 on a usage error.\n";

const qvrtool::CommandHelp kCommandHelp[] = {
    {"info",
     "usage: qvrimg info FILE...\n"
     "Prints one line per image: its format (BMP, GIF, PCX, TGA or font sheet), width x height,\n"
     "depth in bits per pixel and the number of palette entries (or \"none\"), for example\n"
     "  title.bmp: BMP, 320 x 200, 8 bits, palette 256\n"
     "Fails for files that are missing or cannot be read as an image.\n"},
    {"convert",
     "usage: qvrimg convert IN OUT [--format bmp|tga|tga-rle|pcx]\n"
     "Reads the image IN (format detected) and writes it to OUT, replacing an existing file. The\n"
     "format comes from OUT's extension: .bmp BMP, .tga uncompressed TGA, .pcx PCX; --format\n"
     "chooses it explicitly (tga-rle: run-length encoded TGA). Pixels and palette are written as\n"
     "loaded; TGA and PCX cannot hold 15- and 16-bit images (BMP can).\n"},
    {"palette",
     "usage: qvrimg palette IN OUT [--format gimp|jasc|qvrp|rgb|bgr]\n"
     "Writes the palette of the 8-bit image IN to OUT. The format comes from OUT's extension:\n"
     ".gpl GIMP, .pal JASC (Paint Shop Pro), .qvrp the library's own format; --format chooses it\n"
     "explicitly (rgb and bgr: raw tables of three bytes per entry). Fails for images without a\n"
     "palette.\n"},
};

using qvrtool::CommandUsage;
using qvrtool::Error;
using qvrtool::g_logLevel;
using qvrtool::UsageError;
using qvrtool::WriteAtomically;

// Arguments of one command after option parsing.
struct Args {
  std::vector<std::string> positional;
  std::string format;  // --format
  bool hasFormat = false;
  bool help = false;
};

// Parses the options a command accepts; anything else starting with "-" is an error. Returns
// false after printing the error.
bool ParseArgs(const std::string& command, int argc, char** argv, int first, Args& out) {
  const bool takesFormat = command == "convert" || command == "palette";
  bool optionsDone = false;
  for (int i = first; i < argc; ++i) {
    std::string arg = argv[i];
    if (optionsDone || arg.size() < 2 || arg[0] != '-') {
      out.positional.push_back(arg);
    } else if (arg == "--") {
      optionsDone = true;
    } else if (arg == "-h" || arg == "--help") {
      out.help = true;
    } else if (takesFormat && (arg == "--format" || arg.compare(0, 9, "--format=") == 0)) {
      if (arg.size() > 9) {
        out.format = arg.substr(9);
      } else if (arg == "--format" && i + 1 < argc) {
        out.format = argv[++i];
      } else {
        out.format.clear();
      }
      if (out.format.empty()) {
        UsageError(command, "--format needs a value");
        return false;
      }
      out.hasFormat = true;
    } else {
      UsageError(command, "unknown option '" + arg + "'");
      return false;
    }
  }
  return true;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return s;
}

// The extension of the last path component, lower case, without the dot; "" when none.
std::string Extension(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  return ext.size() > 1 ? Lower(ext.substr(1)) : std::string();
}

const char* ImageFormatName(int format) {
  switch (format) {
    case QVRImage::IMG_BMP:
      return "BMP";
    case QVRImage::IMG_PCX:
      return "PCX";
    case QVRImage::IMG_GIF:
      return "GIF";
    case QVRImage::IMG_TGA:
      return "TGA";
    case QVRImage::IMG_TGA_RLE:
      return "run-length TGA";
    case QVRImage::IMG_FONT:
      return "font sheet";
    default:
      return "unknown";
  }
}

// The library's detection knows PCX files by the version 5 signature only and hands the other
// versions (0, 2, 3, 4) to the TGA reader, which refuses or misreads them. Their first bytes are
// 0x0A, the version, 1 (run-length) and 8 bits per plane; as a TGA header that would be a 10-byte
// id, a colour-map type other than 1 and a colour-mapped image, which no TGA writer makes. Leaves
// the stream at its start.
bool LooksLikeOlderPcx(QVRResFile& file) {
  uint8_t head[4];
  const bool read = file.Read(head, 4) == 4;
  file.SeekStart();
  return read && head[0] == 0x0A && (head[1] == 0 || (head[1] >= 2 && head[1] <= 4)) &&
         head[2] == 1 && head[3] == 8;
}

// Opens and reads the image `path`, format detected. Explains every failure, naming the file.
bool LoadImage(const std::string& path, QVRImage& img, int& format) {
  std::error_code ec;
  if (!fs::exists(path, ec)) {
    Error("%s: no such file", path.c_str());
    return false;
  }
  if (fs::is_directory(path, ec)) {
    Error("%s: is a folder, not an image", path.c_str());
    return false;
  }
  errno = 0;
  QVRFile file(path.c_str(), QVRResFile::READ);
  if (!file.Good()) {
    Error("%s: cannot open: %s", path.c_str(), errno ? std::strerror(errno) : "unknown error");
    return false;
  }
  format = img.FindFormat(file);
  if (format == QVRImage::IMG_AUTO) {
    Error("%s: not an image file (too short to hold a header)", path.c_str());
    return false;
  }
  if (format == QVRImage::IMG_TGA && LooksLikeOlderPcx(file)) format = QVRImage::IMG_PCX;
  if (!img.Load(file, format) || img.GetPixels() == nullptr) {
    // TGA is what detection falls back to, so a failed TGA read usually means "not an image".
    if (format == QVRImage::IMG_TGA)
      Error(
          "%s: not a recognised image file (no BMP, GIF, PCX or font signature, and not a "
          "readable TGA file)%s",
          path.c_str(), g_logLevel < QVR::LOG_LOG ? "; -v shows the reader's messages" : "");
    else
      Error("%s: damaged or unsupported %s file%s", path.c_str(), ImageFormatName(format),
            g_logLevel < QVR::LOG_LOG ? "; -v shows the reader's messages" : "");
    return false;
  }
  return true;
}

int CmdInfo(const Args& args) {
  if (args.positional.empty()) return UsageError("info", "expects FILE...");
  bool ok = true;
  for (const std::string& path : args.positional) {
    QVRImage img;
    int format = 0;
    if (!LoadImage(path, img, format)) {
      ok = false;
      continue;
    }
    const QVRPal* pal = img.GetPalette();
    std::string palette =
        pal != nullptr && pal->GetCount() != 0 ? std::to_string(pal->GetCount()) : "none";
    std::printf("%s: %s, %u x %u, %u bits, palette %s\n", path.c_str(), ImageFormatName(format),
                img.GetWidth(), img.GetHeight(), img.GetBpp(), palette.c_str());
  }
  return ok ? 0 : 1;
}

struct NamedFormat {
  const char* name;
  int id;
};

const NamedFormat kImageFormats[] = {
    {"bmp", QVRImage::IMG_BMP},
    {"tga", QVRImage::IMG_TGA},
    {"tga-rle", QVRImage::IMG_TGA_RLE},
    {"pcx", QVRImage::IMG_PCX},
};

// Extensions for image outputs; a .tga is uncompressed unless --format tga-rle says otherwise.
const NamedFormat kImageExtensions[] = {
    {"bmp", QVRImage::IMG_BMP},
    {"tga", QVRImage::IMG_TGA},
    {"pcx", QVRImage::IMG_PCX},
};

const NamedFormat kPaletteFormats[] = {
    {"gimp", QVRPal::PAL_GIMP}, {"jasc", QVRPal::PAL_JASC}, {"qvrp", QVRPal::PAL_NATIVE},
    {"rgb", QVRPal::PAL_RGB},   {"bgr", QVRPal::PAL_BGR},
};

// .pal is JASC here: the text form is the one other programs recognise by its header, while raw
// tables share the extension with no way to tell them apart (--format rgb writes one).
const NamedFormat kPaletteExtensions[] = {
    {"gpl", QVRPal::PAL_GIMP},
    {"pal", QVRPal::PAL_JASC},
    {"qvrp", QVRPal::PAL_NATIVE},
};

const char* PaletteFormatName(int id) {
  switch (id) {
    case QVRPal::PAL_GIMP:
      return "GIMP palette";
    case QVRPal::PAL_JASC:
      return "JASC palette";
    case QVRPal::PAL_NATIVE:
      return "QVRP palette";
    case QVRPal::PAL_RGB:
      return "raw RGB palette";
    case QVRPal::PAL_BGR:
      return "raw BGR palette";
    default:
      return "palette";
  }
}

template <size_t N>
int Lookup(const NamedFormat (&table)[N], const std::string& name) {
  for (const NamedFormat& f : table)
    if (name == f.name) return f.id;
  return -1;
}

template <size_t N>
std::string Names(const NamedFormat (&table)[N], const char* prefix) {
  std::string s;
  for (const NamedFormat& f : table) s += (s.empty() ? "" : ", ") + std::string(prefix) + f.name;
  return s;
}

// The output format of a command: --format if given, else OUT's extension. -1 after a usage
// message.
template <size_t N, size_t M>
int OutputFormat(const std::string& command, const Args& args, const std::string& out,
                 const NamedFormat (&formats)[N], const NamedFormat (&extensions)[M]) {
  if (args.hasFormat) {
    int id = Lookup(formats, Lower(args.format));
    if (id < 0)
      UsageError(command, "unknown format '" + args.format + "' (use " + Names(formats, "") + ")");
    return id;
  }
  std::string ext = Extension(out);
  int id = Lookup(extensions, ext);
  if (id < 0)
    UsageError(command, "cannot tell the format of '" + out + "' from its extension (" +
                            Names(extensions, ".") + " are known); use --format");
  return id;
}

// The fourth byte of a 32-bit image means what its codec makes of it: the TGA codec keeps a
// transparency there (255 - the file's alpha) and turns it back when writing, while the BMP and
// PCX codecs keep the file's byte, an alpha. Converting between the two as is would turn opaque
// pixels transparent, so the byte is carried over as alpha. The fourth bytes of an ordinary
// 32-bit BMP are reserved and all zero; such an image is opaque.
void CarryAlpha(QVRImage& img, int from, int to) {
  uint8_t* px = img.GetPixels();
  const size_t count = size_t(img.GetPitch() / 4) * img.GetHeight();
  const bool fromTga = from == QVRImage::IMG_TGA;
  const bool toTga = to == QVRImage::IMG_TGA || to == QVRImage::IMG_TGA_RLE;
  if (from == QVRImage::IMG_BMP) {
    bool anyAlpha = false;
    for (size_t i = 0; i < count && !anyAlpha; ++i) anyAlpha = px[4 * i + 3] != 0;
    if (!anyAlpha) {
      // Transparency 0 is already opaque for TGA, and BMP stays as it was.
      if (to == QVRImage::IMG_PCX)
        for (size_t i = 0; i < count; ++i) px[4 * i + 3] = 0xFF;
      return;
    }
  }
  if (fromTga != toTga)
    for (size_t i = 0; i < count; ++i) px[4 * i + 3] ^= 0xFF;
}

int CmdConvert(const Args& args) {
  if (args.positional.size() != 2) return UsageError("convert", "expects IN and OUT");
  const std::string& in = args.positional[0];
  const std::string& out = args.positional[1];
  const int id = OutputFormat("convert", args, out, kImageFormats, kImageExtensions);
  if (id < 0) return 2;

  QVRImage img;
  int inFormat = 0;
  if (!LoadImage(in, img, inFormat)) return 1;
  const unsigned bpp = img.GetBpp();
  if ((bpp == 15 || bpp == 16) && id != QVRImage::IMG_BMP) {
    Error("%s: a %u-bit image cannot be written as %s (BMP can hold it)", in.c_str(), bpp,
          ImageFormatName(id));
    return 1;
  }
  if (bpp == 32) CarryAlpha(img, inFormat, id);
  std::string what = std::string(ImageFormatName(id)) + " file";
  return WriteAtomically(out, what.c_str(), [&](QVRFile& f) { return img.Save(f, id); }) ? 0 : 1;
}

int CmdPalette(const Args& args) {
  if (args.positional.size() != 2) return UsageError("palette", "expects IN and OUT");
  const std::string& in = args.positional[0];
  const std::string& out = args.positional[1];
  const int id = OutputFormat("palette", args, out, kPaletteFormats, kPaletteExtensions);
  if (id < 0) return 2;

  QVRImage img;
  int inFormat = 0;
  if (!LoadImage(in, img, inFormat)) return 1;
  QVRPal* pal = img.GetPalette();
  if (img.GetBpp() != 8) {
    Error("%s: a %u-bit image has no palette (only 8-bit images have one)", in.c_str(),
          img.GetBpp());
    return 1;
  }
  if (pal == nullptr || pal->GetCount() == 0) {
    Error("%s: this 8-bit %s image has no palette", in.c_str(), ImageFormatName(inFormat));
    return 1;
  }
  return WriteAtomically(out, PaletteFormatName(id), [&](QVRFile& f) { return pal->Save(f, id); })
             ? 0
             : 1;
}

}  // namespace

int main(int argc, char** argv) {
  static const qvrtool::Tool kTool = {"qvrimg", kUsage, kCommandHelp,
                                      sizeof kCommandHelp / sizeof kCommandHelp[0]};
  static const qvrtool::Command<Args> kCommands[] = {
      {"info", CmdInfo},
      {"convert", CmdConvert},
      {"palette", CmdPalette},
  };
  return qvrtool::Run(kTool, argc, argv, kCommands, ParseArgs);
}
