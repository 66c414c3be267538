// The command-line frame the tools share: global options (-h, -v, -vv, -q, --version),
// per-command help, "TOOL: ..." error messages, and dispatch to a table of
// commands with the exit statuses 0 ok, 1 failure, 2 usage error.
#ifndef QVR_TOOLS_COMMON_CLI_H
#define QVR_TOOLS_COMMON_CLI_H

#include <qvr3d/qvr3d.h>

#include <cstdarg>
#include <cstdio>
#include <string>

namespace qvrtool {

struct CommandHelp {
  const char* name;
  const char* text;
};

// What a tool tells the frame about itself.
struct Tool {
  const char* name;  // prefix of error messages
  const char* usage;
  const CommandHelp* help;
  size_t helpCount;
  bool version = false;  // --version prints "NAME (QVR3d VERSION)"
};

inline const Tool* g_tool = nullptr;
// Library log level for normal runs: warnings and errors only, on standard error.
inline unsigned g_logLevel = QVR::LOG_WARN;

inline void Error(const char* format, ...) QVR_PRINTF(1, 2);
inline void Error(const char* format, ...) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s: ", g_tool ? g_tool->name : "qvr");
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
}

// The help text of `command`, null for an unknown one.
inline const char* CommandUsage(const std::string& command) {
  for (size_t i = 0; g_tool && i < g_tool->helpCount; ++i)
    if (command == g_tool->help[i].name) return g_tool->help[i].text;
  return nullptr;
}

inline int UsageError(const std::string& command, const std::string& what) {
  Error("%s: %s", command.c_str(), what.c_str());
  const char* usage = CommandUsage(command);
  std::fputs(usage ? usage : g_tool->usage, stderr);
  return 2;
}

template <class Args>
struct Command {
  const char* name;
  int (*run)(const Args&);
};

// Parses the global options, then runs the named command with its arguments
// parsed by `parse` (which prints its own errors). Returns the exit status.
template <class Args, size_t N>
int Run(const Tool& tool, int argc, char** argv, const Command<Args> (&commands)[N],
        bool (*parse)(const std::string& command, int argc, char** argv, int first, Args& out)) {
  g_tool = &tool;
  int first = 1;
  for (; first < argc && argv[first][0] == '-'; ++first) {
    std::string opt = argv[first];
    if (opt == "-h" || opt == "--help") {
      std::fputs(tool.usage, stdout);
      return 0;
    } else if (opt == "--version" && tool.version) {
      std::printf("%s (QVR3d %s)\n", tool.name, QVR::Versiont());
      return 0;
    } else if (opt == "-v") {
      g_logLevel = g_logLevel >= QVR::LOG_LOG ? QVR::LOG_DBG : QVR::LOG_LOG;
    } else if (opt == "-vv") {
      g_logLevel = QVR::LOG_DBG;
    } else if (opt == "-q") {
      g_logLevel = QVR::LOG_ERR;
    } else {
      Error("unknown option '%s'", opt.c_str());
      std::fputs(tool.usage, stderr);
      return 2;
    }
  }
  // The library talks on standard error, at the chosen level, so that standard output carries
  // only what a command prints.
  QVR::SetLogTarget(1, nullptr);
  QVR::SetLogLevel(g_logLevel);

  if (first >= argc) {
    Error("missing command");
    std::fputs(tool.usage, stderr);
    return 2;
  }
  const std::string command = argv[first];
  if (command == "help") {
    const char* usage = first + 1 < argc ? CommandUsage(argv[first + 1]) : nullptr;
    std::fputs(usage ? usage : tool.usage, stdout);
    return 0;
  }
  for (const Command<Args>& c : commands) {
    if (command != c.name) continue;
    Args args;
    if (!parse(command, argc, argv, first + 1, args)) return 2;
    if (args.help) {
      std::fputs(CommandUsage(command), stdout);
      return 0;
    }
    return c.run(args);
  }
  Error("unknown command '%s'", command.c_str());
  std::fputs(tool.usage, stderr);
  return 2;
}

}  // namespace qvrtool

#endif
