// Settings: defaults, then demo.cfg in the user's application-data folder,
// then the command line, through QVRConfigMgr; saved back on exit.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "demo.h"

namespace demo {

namespace {

// The saved settings: name, type, help.
struct Param {
  const char* name;
  int type;
  const char* help;
};
const Param kParams[] = {
    {"width", QVRConfigMgr::CFG_INT, "window width (the game is drawn at 640 x 480, centred)"},
    {"height", QVRConfigMgr::CFG_INT, "window height"},
    {"fullscreen", QVRConfigMgr::CFG_BOOL, "full screen (true/false)"},
    {"sfx_volume", QVRConfigMgr::CFG_INT, "sound effects volume, 0..128"},
    {"music_volume", QVRConfigMgr::CFG_INT, "music volume, 0..128"},
    {"language", QVRConfigMgr::CFG_STRING, "en or fr"},
    {"renderer", QVRConfigMgr::CFG_STRING, "software or gl"},
};

void Help() {
  std::printf(
      "usage: demo [OPTIONS] [-SETTING VALUE...]\n"
      "A brick-breaker made with QVR3d. Arrows or mouse move the paddle, SPACE or a click\n"
      "launches the ball, P pauses, F12 saves a screenshot, ESC goes back and quits.\n\n"
      "Options:\n"
      "  --gl            draw with OpenGL (the setting renderer gl)\n"
      "  --software      draw with the software renderer (renderer software)\n"
      "  --lang CODE     language: en or fr (the setting language)\n"
      "  --headless      no window and no sound card: SDL's dummy video and disk audio\n"
      "                  drivers (also when $DISPLAY is unset; --gl still needs a display)\n"
      "  --autoplay      the paddle follows the ball by itself\n"
      "  --frames N      stop after N frames (headless default 600, ten seconds);\n"
      "                  screenshots every 100 frames and demo.wav go to demo-out/\n"
      "  --help          this text\n\n"
      "Settings (saved in demo.cfg on exit; -name value or --name value):\n");
  for (const Param& p : kParams) std::printf("  -%-14s %s\n", p.name, p.help);
}

QVRConfigMgr::CfgValue Int(int v) {
  QVRConfigMgr::CfgValue value;
  value.intVal = v;
  return value;
}

QVRConfigMgr::CfgValue Str(const std::string& v) {
  QVRConfigMgr::CfgValue value;
  value.strVal = const_cast<char*>(v.c_str());  // copied by the table
  return value;
}

void Declare(QVRConfigMgr& cfg, const Settings& s) {
  QVRConfigMgr::CfgValue fs;
  fs.boolVal = s.fullscreen;
  cfg.AddParameter("width", QVRConfigMgr::CFG_INT, Int(s.width));
  cfg.AddParameter("height", QVRConfigMgr::CFG_INT, Int(s.height));
  cfg.AddParameter("fullscreen", QVRConfigMgr::CFG_BOOL, fs);
  cfg.AddParameter("sfx_volume", QVRConfigMgr::CFG_INT, Int(s.sfxVolume));
  cfg.AddParameter("music_volume", QVRConfigMgr::CFG_INT, Int(s.musicVolume));
  cfg.AddParameter("language", QVRConfigMgr::CFG_STRING, Str(s.language));
  cfg.AddParameter("renderer", QVRConfigMgr::CFG_STRING, Str(s.renderer));
}

int Clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace

bool MakeDirs(const std::string& path) {
  for (size_t at = 1; at <= path.size(); ++at) {
    if (at < path.size() && path[at] != '/') continue;
    const std::string part = path.substr(0, at);
    if (!QVRFileUtils::IsDir(part.c_str()) && !QVRFileUtils::DirCreate(part.c_str())) return false;
  }
  return true;
}

int LoadSettings(int argc, char** argv, Settings& s) {
  // The demo's own options first; what is left goes to QVRConfigMgr, which
  // reads "-name value" pairs.
  std::vector<char*> rest = {argv[0]};
  std::vector<std::string> keep;
  keep.reserve(static_cast<size_t>(argc));
  std::string lang, renderer;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--help" || a == "-h") {
      Help();
      return 0;
    } else if (a == "--gl") {
      renderer = "gl";
    } else if (a == "--software") {
      renderer = "software";
    } else if (a == "--headless") {
      s.headless = true;
    } else if (a == "--autoplay") {
      s.autoplay = true;
    } else if (a == "--lang" && hasValue) {
      lang = argv[++i];
    } else if (a == "--frames" && hasValue) {
      char* end = nullptr;
      const long n = std::strtol(argv[++i], &end, 10);
      if (!end || *end || n <= 0 || n > 100000000) {
        std::fprintf(stderr, "demo: --frames needs a count above 0\n");
        return 2;
      }
      s.frames = static_cast<int>(n);
    } else if (a.size() > 2 && a[0] == '-' && a[1] == '-') {
      keep.push_back(a.substr(1));  // --width 800 is -width 800
      rest.push_back(&keep.back()[0]);
    } else {
      rest.push_back(argv[i]);
    }
  }
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) s.headless = true;
  if (s.headless && s.frames == 0) s.frames = 600;

  // The settings file lives in the user's application-data folder
  // ($XDG_DATA_HOME or ~/.local/share), in a folder of the game's own.
  s.dataDir = std::string(QVRFileUtils::GetUserAppDir()) + "/qvr3d-demo";
  if (!MakeDirs(s.dataDir)) std::fprintf(stderr, "demo: cannot create %s\n", s.dataDir.c_str());
  s.configFile = s.dataDir + "/demo.cfg";

  QVRConfigMgr cfg;
  Declare(cfg, s);
  if (QVRFileUtils::FileExist(s.configFile.c_str())) cfg.ParseFile(s.configFile.c_str());
  if (!cfg.ParseCL(static_cast<int>(rest.size()), rest.data())) {
    std::fprintf(stderr, "demo: unknown option or setting (see demo --help)\n");
    return 2;
  }
  s.width = Clamp(cfg.GetValue("width", QVRConfigMgr::CFG_INT).intVal, 640, 4096);
  s.height = Clamp(cfg.GetValue("height", QVRConfigMgr::CFG_INT).intVal, 480, 4096);
  s.fullscreen = cfg.GetValue("fullscreen", QVRConfigMgr::CFG_BOOL).boolVal;
  s.sfxVolume = Clamp(cfg.GetValue("sfx_volume", QVRConfigMgr::CFG_INT).intVal, 0, 128);
  s.musicVolume = Clamp(cfg.GetValue("music_volume", QVRConfigMgr::CFG_INT).intVal, 0, 128);
  const char* l = cfg.GetValue("language", QVRConfigMgr::CFG_STRING).strVal;
  const char* r = cfg.GetValue("renderer", QVRConfigMgr::CFG_STRING).strVal;
  s.language = !lang.empty() ? lang : (l ? l : "en");
  s.renderer = !renderer.empty() ? renderer : (r ? r : "software");
  s.rendererGiven = !renderer.empty();
  if (s.renderer != "software" && s.renderer != "gl") {
    std::fprintf(stderr, "demo: renderer must be software or gl, not %s\n", s.renderer.c_str());
    return 2;
  }
  return -1;
}

void SaveSettings(const Settings& s) {
  QVRConfigMgr cfg;
  Settings saved = s;
  if (!s.savedRenderer.empty()) saved.renderer = s.savedRenderer;
  Declare(cfg, saved);
  if (!cfg.Save(s.configFile.c_str(), "QVR3d demo settings"))
    std::fprintf(stderr, "demo: cannot save %s\n", s.configFile.c_str());
}

}  // namespace demo
