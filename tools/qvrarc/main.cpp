// qvrarc: creates, lists, edits and extracts QVR ("QVRA") and Quake PAK ("PACK") archives, and
// names the format of any archive file the library recognises. Built on the public API only.
#include <qvr3d/qvr3d.h>

#include "../common/cli.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const kUsage =
    "usage: qvrarc [-v] [-q] COMMAND ARCHIVE [ARGS...]\n"
    "\n"
    "Commands:\n"
    "  create [--qvr|--pak] ARCHIVE [PATH...]  create a new archive (default --qvr) and add PATHs\n"
    "  list ARCHIVE                            print the table of members\n"
    "  add ARCHIVE PATH... [--flat] [--as NAME]  add files; a folder adds the tree below it\n"
    "  rm ARCHIVE MEMBER...                    remove members\n"
    "  mv ARCHIVE MEMBER NEWNAME               rename a member\n"
    "  update ARCHIVE MEMBER [FILE]            replace a member's data by FILE (default: MEMBER)\n"
    "  extract ARCHIVE [MEMBER...] [-C DIR]    extract every member, or the named ones, into DIR\n"
    "  info FILE...                            name the archive format of each file\n"
    "\n"
    "Options:\n"
    "  -v        show the library's messages (twice: its debug messages too)\n"
    "  -q        show errors only\n"
    "  -h, --help  this text; `qvrarc COMMAND --help` shows one command\n"
    "\n"
    "The format of an existing archive is detected from its first bytes. Paths on disk may use\n"
    "\"/\" or \"\\\"; member names are taken byte for byte.\n"
    "Exit status: 0 on success, 1 when an operation failed, 2 on a usage error.\n";

const qvrtool::CommandHelp kCommandHelp[] = {
    {"create",
     "usage: qvrarc create [--qvr|--pak] ARCHIVE [PATH...]\n"
     "Creates ARCHIVE (never overwriting an existing file) in the QVR format (--qvr, the\n"
     "default) or the Quake PAK format (--pak), then adds each PATH as `add` does.\n"},
    {"list",
     "usage: qvrarc list ARCHIVE\n"
     "Prints the members with their size, offset and date, and the totals.\n"},
    {"add",
     "usage: qvrarc add ARCHIVE PATH... [--flat] [--as NAME]\n"
     "Appends each file, named after the last component of its path, cut to the format's limit\n"
     "(31 characters for QVR, 56 for PAK). A folder adds every file below it, named by its path\n"
     "relative to that folder with \"/\" between the folders (`qvrarc add game.pak data` stores\n"
     "data/maps/e1m1.bsp as maps/e1m1.bsp); such a name is never cut, and one too long for the\n"
     "format is refused. --flat names the files of folders after their last component instead.\n"
     "--as NAME names a single added file; a NAME with folders is kept whole. Names already in\n"
     "the archive, names two added files would share, and unsafe names (absolute, a drive, a\n"
     "\"..\" component) are refused, and then nothing is added (use `update` to replace).\n"},
    {"rm",
     "usage: qvrarc rm ARCHIVE MEMBER...\n"
     "Removes the named members.\n"},
    {"mv",
     "usage: qvrarc mv ARCHIVE MEMBER NEWNAME\n"
     "Renames a member; NEWNAME must not be in the archive yet.\n"},
    {"update",
     "usage: qvrarc update ARCHIVE MEMBER [FILE]\n"
     "Replaces the data of MEMBER by the content of FILE (by default the file named MEMBER).\n"},
    {"extract",
     "usage: qvrarc extract ARCHIVE [MEMBER...] [-C DIR]\n"
     "Writes every member, or the named ones, below DIR (default: the current folder; created\n"
     "when missing), creating the folders that member names need. Absolute names and names\n"
     "with a \"..\" component are refused. Existing files are overwritten.\n"},
    {"info",
     "usage: qvrarc info FILE...\n"
     "Names the archive format of each file (QVR, PAK, BIFF, size-rule, Ensemble, rass, ZIP);\n"
     "for QVR and PAK archives also the entry count and total size. Fails for files that are\n"
     "missing or not recognised.\n"},
};

using qvrtool::CommandUsage;
using qvrtool::Error;
using qvrtool::g_logLevel;
using qvrtool::UsageError;

// Arguments of one command after option parsing.
struct Args {
  std::vector<std::string> positional;
  std::string dir = ".";  // -C
  std::string as;         // --as
  bool hasAs = false;
  bool flat = false;  // --flat
  int format = QVRArchive::FORMAT_QVR;
  bool formatGiven = false;
  bool help = false;
};

// Parses the options a command accepts; anything else starting with "-" is an error. Returns
// false after printing the error.
bool ParseArgs(const std::string& command, int argc, char** argv, int first, Args& out) {
  bool optionsDone = false;
  const bool isCreate = command == "create";
  const bool isExtract = command == "extract";
  const bool isAdd = command == "add" || isCreate;
  for (int i = first; i < argc; ++i) {
    std::string arg = argv[i];
    if (optionsDone || arg.size() < 2 || arg[0] != '-') {
      out.positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsDone = true;
    } else if (arg == "-h" || arg == "--help") {
      out.help = true;
    } else if (isCreate && (arg == "--pak" || arg == "--qvr")) {
      if (out.formatGiven && (arg == "--pak") != (out.format == QVRArchive::FORMAT_PAK)) {
        UsageError(command, "--pak and --qvr exclude each other");
        return false;
      }
      out.format = arg == "--pak" ? QVRArchive::FORMAT_PAK : QVRArchive::FORMAT_QVR;
      out.formatGiven = true;
    } else if (isExtract && (arg == "-C" || arg.compare(0, 2, "-C") == 0)) {
      if (arg.size() > 2) {
        out.dir = arg.substr(2);
      } else if (i + 1 < argc) {
        out.dir = argv[++i];
      } else {
        UsageError(command, "-C needs a folder");
        return false;
      }
      if (out.dir.empty()) {
        UsageError(command, "-C needs a folder");
        return false;
      }
    } else if (isAdd && arg == "--as") {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') {
        UsageError(command, "--as needs a name");
        return false;
      }
      out.as = argv[++i];
      out.hasAs = true;
    } else if (isAdd && arg == "--flat") {
      out.flat = true;
    } else {
      std::string what = "unknown option '" + arg + "'";
      UsageError(command, what.c_str());
      return false;
    }
  }
  return true;
}

bool StderrIsTty() {
  static const bool tty = isatty(fileno(stderr)) != 0;
  return tty;
}

// Shows "adding i/n" when many files are added: rewritten in place on a terminal, otherwise one
// line every kStep files and at the end.
class Progress {
 public:
  explicit Progress(size_t total) : m_total(total), m_shown(total >= kThreshold) {}
  ~Progress() { Finish(); }
  void Step(size_t done) {
    if (!m_shown) return;
    if (StderrIsTty()) {
      std::fprintf(stderr, "\radding %zu/%zu", done, m_total);
      std::fflush(stderr);
      m_pending = true;
    } else if (done % kStep == 0 || done == m_total) {
      std::fprintf(stderr, "adding %zu/%zu\n", done, m_total);
    }
  }
  // Ends a line left open on a terminal, so that a following message starts on its own line.
  void Finish() {
    if (m_pending) std::fputc('\n', stderr);
    m_pending = false;
  }

 private:
  static constexpr size_t kThreshold = 50;
  static constexpr size_t kStep = 1000;
  size_t m_total;
  bool m_shown;
  bool m_pending = false;
};

std::string FormatName(int format) {
  switch (format) {
    case QVRArchive::FORMAT_QVR:
      return "QVR archive";
    case QVRArchive::FORMAT_PAK:
      return "Quake PAK archive";
    case QVRArchive::FORMAT_BIFF:
      return "BIFF V1 archive";
    case QVRArchive::FORMAT_SIZED:
      return "size-rule archive (no magic)";
    case QVRArchive::FORMAT_ENSEMBLE:
      return "Ensemble Studios archive";
    case QVRArchive::FORMAT_RASS:
      return "rass archive";
    case QVRArchive::FORMAT_ZIP:
      return "ZIP archive";
    default:
      return "unrecognised";
  }
}

unsigned MaxNameLength(const QVRArchive& archive) {
  return archive.GetFormat() == QVRArchive::FORMAT_PAK ? 56u : 31u;
}

// The member name the library stores for `name`: its last path component, cut to the format's
// limit. Empty when the name ends in a separator.
std::string StoredName(const QVRArchive& archive, const std::string& name) {
  size_t sep = name.find_last_of("/\\");
  std::string base = sep == std::string::npos ? name : name.substr(sep + 1);
  if (base.size() > MaxNameLength(archive)) base.resize(MaxNameLength(archive));
  return base;
}

// A path on disk as the user may write it, with "\" between folders.
std::string DiskPath(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

// Opens an existing archive, explaining why it cannot be opened.
std::unique_ptr<QVRArchive> OpenExisting(const std::string& file) {
  std::error_code ec;
  if (!fs::exists(file, ec)) {
    Error("%s: no such file", file.c_str());
    return nullptr;
  }
  if (fs::is_directory(file, ec)) {
    Error("%s: is a folder, not an archive", file.c_str());
    return nullptr;
  }
  std::unique_ptr<QVRArchive> archive(QVRArchive::OpenArchive(file.c_str()));
  if (archive) return archive;
  int format = QVRArchive::FindArchiveFormat(file.c_str());
  if (format == QVRArchive::FORMAT_QVR || format == QVRArchive::FORMAT_PAK)
    Error("%s: damaged %s (its header or directory is invalid)", file.c_str(),
          FormatName(format).c_str());
  else if (format != QVRArchive::FORMAT_NONE)
    Error("%s: %s archives are recognised but cannot be opened", file.c_str(),
          QVRArchive::FormatText(format));
  else
    Error("%s: not an archive", file.c_str());
  return nullptr;
}

// One file to add and the name it is stored under.
struct AddItem {
  std::string path;
  std::string name;
  bool keepFolders;  // the name is a path below a folder, stored whole
};

// Expands folders into the files below them, in name order so that archives are reproducible,
// and names every file: a file given itself, or any file with `flat`, by the last component of
// its path; a file found in a folder by its path relative to that folder. The archive file
// itself is never added to itself. Returns false when a path is missing.
bool CollectFiles(const QVRArchive& archive, const std::vector<std::string>& paths, size_t first,
                  const std::string& archiveFile, bool flat, std::vector<AddItem>& out) {
  bool ok = true;
  std::error_code ec;
  for (size_t i = first; i < paths.size(); ++i) {
    const std::string path = DiskPath(paths[i]);
    if (fs::is_directory(path, ec)) {
      std::vector<std::string> found;
      fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, ec);
      if (ec) {
        Error("%s: cannot read folder: %s", path.c_str(), ec.message().c_str());
        ok = false;
        continue;
      }
      for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) break;
        if (it->is_regular_file(ec)) found.push_back(it->path().string());
      }
      if (ec) {
        Error("%s: cannot read folder: %s", path.c_str(), ec.message().c_str());
        ok = false;
      }
      std::sort(found.begin(), found.end());
      for (const std::string& f : found) {
        if (fs::equivalent(f, archiveFile, ec)) continue;
        if (flat) {
          out.push_back({f, StoredName(archive, f), false});
        } else {
          out.push_back({f, fs::path(f).lexically_relative(path).generic_string(), true});
        }
      }
    } else if (fs::is_regular_file(path, ec)) {
      if (fs::equivalent(path, archiveFile, ec)) {
        Error("%s: cannot add an archive to itself", path.c_str());
        ok = false;
        continue;
      }
      out.push_back({path, StoredName(archive, path), false});
    } else if (fs::exists(path, ec)) {
      Error("%s: not a regular file", path.c_str());
      ok = false;
    } else {
      Error("%s: no such file", path.c_str());
      ok = false;
    }
  }
  return ok;
}

// Checks every stored name before anything is added, so that a refused add leaves the archive
// as it was. Reports each problem; false when there is one.
bool CheckNames(const QVRArchive& archive, const std::string& file,
                const std::vector<AddItem>& items) {
  bool ok = true;
  std::map<std::string, const AddItem*> seen;
  const unsigned limit = MaxNameLength(archive);
  for (const AddItem& item : items) {
    if (item.name.empty() || item.name.back() == '/') {
      Error("%s: a member name cannot end with a separator", item.path.c_str());
      ok = false;
    } else if (item.keepFolders && !QVRArchive::IsSafeName(item.name.c_str())) {
      Error("%s: unsafe member name '%s' (absolute, a drive or a \"..\" component)",
            item.path.c_str(), item.name.c_str());
      ok = false;
    } else if (item.keepFolders && item.name.size() > limit) {
      Error("%s: member name '%s' is %zu bytes long, a %s archive holds at most %u",
            item.path.c_str(), item.name.c_str(), item.name.size(),
            QVRArchive::FormatText(archive.GetFormat()), limit);
      ok = false;
    } else if (archive.FindFile(item.name.c_str()) != QVRArchive::NONE) {
      Error("%s: '%s' is already in %s (use update)", item.path.c_str(), item.name.c_str(),
            file.c_str());
      ok = false;
    } else {
      auto inserted = seen.emplace(item.name, &item);
      if (!inserted.second) {
        Error("%s and %s would both be stored as '%s'", inserted.first->second->path.c_str(),
              item.path.c_str(), item.name.c_str());
        ok = false;
      }
    }
  }
  return ok;
}

// Adds the files named by paths[first...] (folders recursively). True when every one was added;
// nothing is added when a path is missing or a name is refused.
bool AddPaths(QVRArchive& archive, const std::string& file, const std::vector<std::string>& paths,
              size_t first, const Args& args) {
  std::vector<AddItem> items;
  bool ok = CollectFiles(archive, paths, first, file, args.flat, items);
  if (args.hasAs) {
    if (items.size() != 1 || paths.size() - first != 1) {
      Error("add: --as names exactly one file");
      return false;
    }
    // A name with folders is kept whole; a bare one follows the format's name rule.
    const std::string& as = args.as;
    items[0].keepFolders = as.find_first_of("/\\") != std::string::npos;
    items[0].name = items[0].keepFolders ? DiskPath(as) : StoredName(archive, as);
  }
  if (!ok || !CheckNames(archive, file, items)) return false;
  Progress progress(items.size());
  size_t done = 0;
  for (const AddItem& item : items) {
    unsigned entry = item.keepFolders ? archive.AddFileAs(item.path.c_str(), item.name.c_str())
                                      : archive.AddFile(item.path.c_str(), item.name.c_str());
    if (entry == QVRArchive::NONE) {
      progress.Finish();
      Error("%s: cannot add to %s", item.path.c_str(), file.c_str());
      ok = false;
    }
    progress.Step(++done);
  }
  return ok;
}

int CmdCreate(const Args& args) {
  if (args.positional.empty()) return UsageError("create", "missing ARCHIVE");
  const std::string file = DiskPath(args.positional[0]);
  std::error_code ec;
  if (fs::exists(file, ec)) {
    Error("%s: already exists (an archive is never overwritten)", file.c_str());
    return 1;
  }
  std::unique_ptr<QVRArchive> archive;
  if (args.format == QVRArchive::FORMAT_PAK)
    archive.reset(new QVRArchPAK);
  else
    archive.reset(new QVRArchQVR);
  if (!archive->Create(file.c_str())) {
    Error("%s: cannot create", file.c_str());
    return 1;
  }
  return AddPaths(*archive, file, args.positional, 1, args) ? 0 : 1;
}

int CmdList(const Args& args) {
  if (args.positional.size() != 1) return UsageError("list", "expects one ARCHIVE");
  std::unique_ptr<QVRArchive> archive = OpenExisting(DiskPath(args.positional[0]));
  if (!archive) return 1;
  // The table is the library's own listing at LOG level; print it on standard output whatever
  // the chosen verbosity, then go back to the normal routing.
  std::fflush(stderr);
  QVR::SetLogTarget(0, nullptr);
  QVR::SetLogLevel(std::max<unsigned>(g_logLevel, QVR::LOG_LOG));
  archive->PrintContent();
  QVR::SetLogLevel(g_logLevel);
  QVR::SetLogTarget(1, nullptr);
  return 0;
}

int CmdAdd(const Args& args) {
  if (args.positional.size() < 2) return UsageError("add", "expects ARCHIVE and PATH...");
  const std::string file = DiskPath(args.positional[0]);
  std::unique_ptr<QVRArchive> archive = OpenExisting(file);
  if (!archive) return 1;
  return AddPaths(*archive, file, args.positional, 1, args) ? 0 : 1;
}

int CmdRemove(const Args& args) {
  if (args.positional.size() < 2) return UsageError("rm", "expects ARCHIVE and MEMBER...");
  const std::string file = DiskPath(args.positional[0]);
  std::unique_ptr<QVRArchive> archive = OpenExisting(file);
  if (!archive) return 1;
  bool ok = true;
  for (size_t i = 1; i < args.positional.size(); ++i) {
    const std::string& member = args.positional[i];
    // Entry numbers shift after each removal, so every member is looked up afresh.
    unsigned entry = archive->FindFile(member.c_str());
    if (entry == QVRArchive::NONE) {
      Error("%s: no member '%s'", file.c_str(), member.c_str());
      ok = false;
    } else if (!archive->RemoveFile(entry)) {
      Error("%s: cannot remove '%s'", file.c_str(), member.c_str());
      ok = false;
    }
  }
  return ok ? 0 : 1;
}

int CmdMove(const Args& args) {
  if (args.positional.size() != 3) return UsageError("mv", "expects ARCHIVE MEMBER NEWNAME");
  const std::string file = DiskPath(args.positional[0]);
  const std::string& member = args.positional[1];
  const std::string& newName = args.positional[2];
  std::unique_ptr<QVRArchive> archive = OpenExisting(file);
  if (!archive) return 1;
  unsigned entry = archive->FindFile(member.c_str());
  if (entry == QVRArchive::NONE) {
    Error("%s: no member '%s'", file.c_str(), member.c_str());
    return 1;
  }
  std::string stored = StoredName(*archive, newName);
  if (stored.empty()) {
    Error("%s: a member name cannot end with a separator", newName.c_str());
    return 1;
  }
  unsigned clash = archive->FindFile(stored.c_str());
  if (clash != QVRArchive::NONE && clash != entry) {
    Error("%s: '%s' is already in the archive", file.c_str(), stored.c_str());
    return 1;
  }
  if (!archive->RenameFile(entry, newName.c_str())) {
    Error("%s: cannot rename '%s'", file.c_str(), member.c_str());
    return 1;
  }
  return 0;
}

int CmdUpdate(const Args& args) {
  if (args.positional.size() < 2 || args.positional.size() > 3)
    return UsageError("update", "expects ARCHIVE MEMBER [FILE]");
  const std::string file = DiskPath(args.positional[0]);
  const std::string& member = args.positional[1];
  const std::string source = DiskPath(args.positional.size() == 3 ? args.positional[2] : member);
  std::unique_ptr<QVRArchive> archive = OpenExisting(file);
  if (!archive) return 1;
  unsigned entry = archive->FindFile(member.c_str());
  if (entry == QVRArchive::NONE) {
    Error("%s: no member '%s'", file.c_str(), member.c_str());
    return 1;
  }
  std::error_code ec;
  if (!fs::is_regular_file(source, ec)) {
    Error("%s: %s", source.c_str(), fs::exists(source, ec) ? "not a regular file" : "no such file");
    return 1;
  }
  if (!archive->UpdateFile(entry, source.c_str())) {
    Error("%s: cannot update '%s' from %s", file.c_str(), member.c_str(), source.c_str());
    return 1;
  }
  return 0;
}

// Extracts entry `i` below `dir`, creating the folders its name needs. Either separator in a
// member name counts as a folder boundary.
bool ExtractEntry(const QVRArchive& archive, unsigned i, const std::string& dir) {
  const char* name = archive.FileName(i);
  if (!QVRArchive::IsSafeName(name)) {
    Error("%s: refusing unsafe member name '%s'", archive.Name(), name);
    return false;
  }
  std::string relative = name;
  std::replace(relative.begin(), relative.end(), '\\', '/');
  fs::path target = fs::path(dir) / relative;
  std::error_code ec;
  if (target.has_parent_path()) {
    fs::create_directories(target.parent_path(), ec);
    if (ec) {
      Error("%s: cannot create folder: %s", target.parent_path().string().c_str(),
            ec.message().c_str());
      return false;
    }
  }
  if (fs::is_directory(target, ec)) {
    Error("%s: a folder is in the way of member '%s'", target.string().c_str(), name);
    return false;
  }
  if (!archive.ExtractFile(i, target.string().c_str())) {
    Error("%s: cannot extract '%s' to %s", archive.Name(), name, target.string().c_str());
    return false;
  }
  return true;
}

int CmdExtract(const Args& args) {
  if (args.positional.empty()) return UsageError("extract", "missing ARCHIVE");
  const std::string file = DiskPath(args.positional[0]);
  std::unique_ptr<QVRArchive> archive = OpenExisting(file);
  if (!archive) return 1;
  const std::string dir = DiskPath(args.dir);
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir, ec)) {
      Error("%s: cannot create folder", dir.c_str());
      return 1;
    }
  }
  bool ok = true;
  if (args.positional.size() == 1) {
    for (unsigned i = 0; i < archive->NbFiles(); ++i) {
      // A later entry of the same name is hidden behind the first, as in every lookup.
      if (archive->FindFile(archive->FileName(i)) != i) continue;
      ok = ExtractEntry(*archive, i, dir) && ok;
    }
  } else {
    for (size_t k = 1; k < args.positional.size(); ++k) {
      const std::string& member = args.positional[k];
      unsigned entry = archive->FindFile(member.c_str());
      if (entry == QVRArchive::NONE) {
        Error("%s: no member '%s'", file.c_str(), member.c_str());
        ok = false;
        continue;
      }
      ok = ExtractEntry(*archive, entry, dir) && ok;
    }
  }
  return ok ? 0 : 1;
}

int CmdInfo(const Args& args) {
  if (args.positional.empty()) return UsageError("info", "expects FILE...");
  bool ok = true;
  std::error_code ec;
  for (const std::string& given : args.positional) {
    const std::string file = DiskPath(given);
    if (!fs::exists(file, ec)) {
      Error("%s: no such file", file.c_str());
      ok = false;
      continue;
    }
    int format = QVRArchive::FindArchiveFormat(file.c_str());
    if (format == QVRArchive::FORMAT_NONE) {
      Error("%s: not a recognised archive", file.c_str());
      ok = false;
      continue;
    }
    std::printf("%s: %s (format %d, %s)", file.c_str(), FormatName(format).c_str(), format,
                QVRArchive::FormatText(format));
    if (format != QVRArchive::FORMAT_QVR && format != QVRArchive::FORMAT_PAK) {
      std::printf(", recognised but not supported\n");
      continue;
    }
    std::unique_ptr<QVRArchive> archive(QVRArchive::OpenArchive(file.c_str()));
    if (!archive) {
      std::printf("\n");
      Error("%s: damaged: its header or directory is invalid", file.c_str());
      ok = false;
      continue;
    }
    std::printf(": \"%s\", %u entries, %u bytes of data\n", archive->FormatInfo(),
                archive->NbFiles(), archive->TotalSize());
  }
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  static const qvrtool::Tool kTool = {"qvrarc", kUsage, kCommandHelp,
                                      sizeof kCommandHelp / sizeof kCommandHelp[0]};
  static const qvrtool::Command<Args> kCommands[] = {
      {"create", CmdCreate}, {"list", CmdList},     {"add", CmdAdd},         {"rm", CmdRemove},
      {"mv", CmdMove},       {"update", CmdUpdate}, {"extract", CmdExtract}, {"info", CmdInfo},
  };
  return qvrtool::Run(kTool, argc, argv, kCommands, ParseArgs);
}
