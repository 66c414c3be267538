// The demo's shared declarations: settings, the data, the sound, the two
// renderers and the scenes (title, play, high scores).
#ifndef DEMO_DEMO_H
#define DEMO_DEMO_H

#include <qvr3d/qvr3d.h>

#include <string>

#include "../palette.h"

namespace demo {

// ---- Settings (settings.cpp) -------------------------------------------------

struct Settings {
  int width = 640;
  int height = 480;
  bool fullscreen = false;
  int sfxVolume = 100;   // 0..128
  int musicVolume = 64;  // 0..128
  std::string language = "en";
  std::string renderer = "software";  // or "gl"
  bool rendererGiven = false;         // by --gl or --software on this command line
  std::string savedRenderer;          // saved instead of `renderer` when not empty
  // Run options, not saved.
  bool headless = false;
  bool autoplay = false;
  int frames = 0;  // 0: until the player quits
  std::string configFile;
  std::string dataDir;  // the game's folder in the user's application data
};

// Reads defaults, demo.cfg and the command line into `s`. Returns -1 to go
// on, or the exit status after --help (0) or a usage error (2).
int LoadSettings(int argc, char** argv, Settings& s);
// Writes the saved settings back to demo.cfg.
void SaveSettings(const Settings& s);
// Creates `path` and its missing parents.
bool MakeDirs(const std::string& path);

// ---- Data (assets.cpp) -----------------------------------------------------

// Sprite numbers of Renderer::Sprite.
enum SpriteId : int { SPR_BRICK0 = 0, SPR_PADDLE = kBrickHues, SPR_BALL, SPR_COUNT };
// Fonts and backgrounds.
enum FontId : int { FONT_SMALL = 0, FONT_BIG = 1 };
enum BackId : int { BACK_TITLE = 0, BACK_FIELD = 1 };
// Sound effects.
enum SfxId : int { SFX_BOUNCE = 0, SFX_BRICK, SFX_LOSE, SFX_LEVEL, SFX_COUNT };

// Every file the game reads comes through here, by name, from demo-data/
// (replacement files) first and demo.qvra second.
class Assets {
 public:
  explicit Assets(const std::string& archive);
  ~Assets();
  bool Ok() const { return m_ok; }
  // The resource `name` of `type` (a QVRResMgr type) kept in the cache, or
  // null. A file in demo-data/ that does not load is reported and replaced
  // by the archive's copy.
  QVRResource* Load(unsigned type, const char* name, bool keep = true);
  QVRImage* Image(const char* name) {
    return static_cast<QVRImage*>(Load(QVRResMgr::RES_IMAGE, name));
  }
  // Copies the language file `code` out of the data into `folder` and
  // returns its path ("" when there is none).
  std::string ExtractLanguage(const std::string& code, const std::string& folder);

 private:
  QVRResFinder m_finder;   // demo-data/, then demo.qvra
  QVRResFinder m_archive;  // demo.qvra alone, for the fallback
  QVRResMgr* m_res;
  QVRResMgr* m_fallback;
  unsigned m_blobType;
  bool m_ok;
};

// ---- Sound (audio.cpp) ------------------------------------------------------

class Audio {
 public:
  // Opens the mixer, converts the effects and starts the music. With
  // `follow`, the sound is made only as fast as Follow lets it (headless
  // runs, where SDL's disk driver would otherwise write as fast as it can).
  bool Open(Assets& assets, const Settings& s, bool follow);
  // Lets the mixer run until the disk driver's `file` holds `frame` frames
  // of game time (60 a second); nothing unless opened with `follow`.
  void Follow(int frame, const char* file);
  // Plays effect `id` panned to the screen column x (0..639).
  void Play(SfxId id, int x);
  // Stops the mixer; must run before the data are freed.
  void Close();

 private:
  QVRMixer* m_mixer = nullptr;
  QVRSound* m_sfx[SFX_COUNT] = {};
  QVRMusic* m_music = nullptr;
  int m_volume = 100;
  bool m_locked = false;
};

// ---- Renderers (render_soft.cpp, render_gl.cpp) -------------------------------

// What the scenes draw with; the game's coordinates are always 640 x 480.
class Renderer {
 public:
  virtual ~Renderer() = default;
  virtual bool Open(const Settings& s, Assets& assets) = 0;
  virtual void Background(BackId id) = 0;
  virtual void Sprite(int id, int x, int y) = 0;
  virtual void Box(int x, int y, int w, int h, unsigned colour) = 0;
  // Text with its top at y; centred on x when `centre` is true.
  virtual void Text(FontId font, int x, int y, const char* text, unsigned colour, bool centre) = 0;
  virtual int TextWidth(FontId font, const char* text) = 0;
  // Shows the frame; the first one fades in.
  virtual void Present() = 0;
  virtual bool Screenshot(const char* prefix) = 0;
  virtual void FadeOut() = 0;
};
Renderer* NewSoftRenderer();
Renderer* NewGLRenderer();

// ---- Scenes (title.cpp, play.cpp, scores.cpp) ---------------------------------

// What the player did in one frame.
struct Input {
  int key = 0;                       // SDLK_ code of a key pressed this frame, 0 for none
  unsigned unicode = 0;              // its character, for name entry
  bool left = false, right = false;  // arrows held
  int mouseX = -1;                   // the mouse column when it moved, else -1
  bool click = false;
};

// The strings of text.h's ids, from the loaded language.
enum TextId : unsigned {
  TXT_PLAY = 0,
  TXT_KEYS,
  TXT_SCORE,
  TXT_LIVES,
  TXT_LEVEL,
  TXT_HIGHSCORES,
  TXT_GAMEOVER,
  TXT_NAME,
  TXT_PAUSED,
  TXT_ANYKEY,
  TXT_CLEARED,
  TXT_AUTOPLAY,
  TXT_READY,
};
const char* Tr(TextId id);

enum SceneId : int { SCENE_TITLE, SCENE_PLAY, SCENE_SCORES, SCENE_QUIT };

struct Context {
  Renderer* renderer;
  Audio* audio;
  QVRScore* scores;
  std::string scoreFile;
  bool autoplay;
};

class Scene {
 public:
  virtual ~Scene() = default;
  virtual void Enter(Context& ctx) { (void)ctx; }
  virtual SceneId Update(Context& ctx, const Input& in) = 0;
  virtual void Draw(Context& ctx) = 0;
};
Scene* NewTitle();
Scene* NewScores();
// The game in progress; its score and bricks are reported after a run.
class Play : public Scene {
 public:
  virtual int Score() const = 0;
  virtual int BricksLeft() const = 0;
};
Play* NewPlay();

}  // namespace demo

#endif
