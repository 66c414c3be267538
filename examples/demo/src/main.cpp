// The demo's entry point: settings, the headless set-up, the data, the
// renderer and the sound, then the main loop at 60 frames per second over the
// three scenes. In headless runs it also writes the screenshots and the mixed
// sound into demo-out/ and ends with one line of figures.
#include <SDL/SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "demo.h"

namespace demo {

const char* Tr(TextId id) {
  const char* s = QVRTranslator::Singleton()->GetString(id);
  return s ? s : "";
}

namespace {

const char kOut[] = "demo-out";

// demo-out/ for the screenshots and the sound of a run of --frames N, emptied
// of those of the run before.
bool PrepareOut() {
  if (!MakeDirs(kOut)) {
    std::fprintf(stderr, "demo: cannot create %s/\n", kOut);
    return false;
  }
  char** old = nullptr;
  const unsigned n = QVRFileUtils::GetFileList(old, kOut, "shot*", QVRFileUtils::LIST_NO_DIRS);
  for (unsigned i = 0; i < n; ++i)
    QVRFileUtils::FileRemove((std::string(kOut) + "/" + old[i]).c_str());
  QVRFileUtils::FreeFileList(old, n);
  QVRFileUtils::FileRemove((std::string(kOut) + "/demo.wav").c_str());
  return true;
}

// Headless: SDL's dummy video driver (a surface in memory) and disk audio
// driver (the mixed stream written to a file), chosen through the
// environment before the first SDL object starts SDL.
void SetUpHeadless(const Settings& s) {
  if (s.renderer == "software") setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", "demo-out/demo.raw", 1);
  // The disk driver writes as fast as it is let, sleeping this long after
  // each buffer; the game lets it through a buffer at a time (Audio::Follow).
  setenv("SDL_DISKAUDIODELAY", "2", 1);
}

// demo.raw (16-bit stereo at 22050 Hz, no header) becomes demo.wav.
// The buffers the driver wrote while the device was closing, after the last
// frame, are left out.
double WrapAudio(int frames) {
  const std::string raw = std::string(kOut) + "/demo.raw", wav = std::string(kOut) + "/demo.wav";
  unsigned size = QVRFileUtils::FileSize(raw.c_str());
  if (size == 0xFFFFFFFFu) return 0;
  const unsigned long long bufferBytes = 1024 * 4;
  const unsigned long long played =
      (static_cast<unsigned long long>(frames) * 22050 / 60 * 4 + bufferBytes - 1) / bufferBytes *
      bufferBytes;
  if (size > played) size = static_cast<unsigned>(played);
  QVRFile in(raw.c_str(), QVRResFile::READ);
  QVRFile out(wav.c_str(), QVRResFile::WRITE | QVRResFile::TRUNCATE);
  const unsigned rate = 22050, frameBytes = 4;
  out.Write("RIFF", 4);
  out.Write32(36 + size);
  out.Write("WAVEfmt ", 8);
  out.Write32(16);
  out.Write16(1);
  out.Write16(2);
  out.Write32(rate);
  out.Write32(rate * frameBytes);
  out.Write16(frameBytes);
  out.Write16(16);
  out.Write("data", 4);
  out.Write32(size);
  const unsigned copied = QVRFileUtils::CopyData(&in, &out, size);
  in.Close();
  out.Close();
  if (copied != size) {
    std::fprintf(stderr, "demo: cannot write %s\n", wav.c_str());
    return 0;
  }
  QVRFileUtils::FileRemove(raw.c_str());
  return static_cast<double>(size) / (rate * frameBytes);
}

// Each BMP screenshot also as PNG, through ImageMagick.
void ConvertShots() {
  char** names = nullptr;
  const unsigned n =
      QVRFileUtils::GetFileList(names, kOut, "shot*.bmp", QVRFileUtils::LIST_NO_DIRS);
  for (unsigned i = 0; i < n; ++i) {
    std::string bmp = std::string(kOut) + "/" + names[i];
    std::string png = bmp.substr(0, bmp.size() - 4) + ".png";
    const std::string cmd = "convert '" + bmp + "' '" + png + "'";
    if (std::system(cmd.c_str()) != 0) {
      std::fprintf(stderr, "demo: ImageMagick's convert did not make %s\n", png.c_str());
      break;
    }
  }
  QVRFileUtils::FreeFileList(names, n);
}

// The language file: taken out of the data into the user's folder, listed and
// loaded by QVRTranslator. English when the code has no file.
void LoadLanguage(Assets& assets, const Settings& s) {
  const std::string folder = s.dataDir + "/lang";
  std::string path = assets.ExtractLanguage(s.language, folder);
  if (path.empty()) {
    QVR::WARN("demo: no language %s, using English\n", s.language.c_str());
    path = assets.ExtractLanguage("en", folder);
  }
  QVRTranslator* tr = QVRTranslator::Singleton();
  tr->Init(folder.c_str(), ".lng");
  if (path.empty() || !tr->Load(path.c_str(), 0))
    QVR::WARN("demo: no language file\n");
  else
    QVR::LOG("demo: language %s\n", tr->GetCurName());
}

// One frame of input: SDL's queue is polled (QVRInput has no non-blocking
// read), the arrows read as held keys, the mouse through QVRInput.
bool ReadInput(QVRInput* input, const Settings& s, Input& in, int& lastMouse) {
  SDL_Event ev;
  while (SDL_PollEvent(&ev)) {
    if (ev.type == SDL_QUIT) return false;
    if (ev.type == SDL_KEYDOWN && in.key == 0) {
      in.key = ev.key.keysym.sym;
      in.unicode = ev.key.keysym.unicode;
    }
    if (ev.type == SDL_MOUSEBUTTONDOWN && ev.button.button == SDL_BUTTON_LEFT) in.click = true;
  }
  const Uint8* keys = SDL_GetKeyState(nullptr);
  in.left = keys[SDLK_LEFT] != 0;
  in.right = keys[SDLK_RIGHT] != 0;
  int mx = 0;
  input->GetMouseState(&mx, nullptr);
  if (mx != lastMouse && lastMouse != -1) {
    in.mouseX = s.renderer == "gl" ? mx * 640 / s.width : mx - (s.width - 640) / 2;
  }
  lastMouse = mx;
  return true;
}

int Run(Settings& s) {
  if (s.frames && !PrepareOut()) return 1;
  if (s.headless) SetUpHeadless(s);
  char* exeDir = QVRFileUtils::GetExeDir();
  const std::string archive = std::string(exeDir ? exeDir : ".") + "/demo.qvra";
  delete[] exeDir;

  Assets assets(archive);
  if (!assets.Ok()) return 1;
  LoadLanguage(assets, s);

  QVRTimer timer;
  std::unique_ptr<QVRInput> input(QVRInput::Singleton());
  std::unique_ptr<Renderer> renderer(s.renderer == "gl" ? NewGLRenderer() : NewSoftRenderer());
  if (!renderer->Open(s, assets)) {
    std::fprintf(stderr, "demo: the %s renderer did not start\n", s.renderer.c_str());
    return 1;
  }
  Audio audio;
  audio.Open(assets, s, s.headless);
  SDL_EnableUNICODE(1);

  QVRScore scores(10, QVRScore::HIGHEST_FIRST, 0);
  Context ctx{renderer.get(), &audio, &scores, s.dataDir + "/scores.dat", s.autoplay};
  if (QVRFileUtils::FileExist(ctx.scoreFile.c_str()) && !scores.Load(ctx.scoreFile.c_str()))
    QVR::WARN("demo: %s is not a score file; starting a new table\n", ctx.scoreFile.c_str());

  std::unique_ptr<Scene> title(NewTitle()), scoreScene(NewScores());
  std::unique_ptr<Play> play(NewPlay());
  Scene* scenes[3] = {title.get(), play.get(), scoreScene.get()};
  SceneId current = SCENE_TITLE;
  scenes[current]->Enter(ctx);

  std::vector<double> frameMs;
  int frame = 0, lastMouse = -1;
  const Uint32 start = SDL_GetTicks();
  for (;;) {
    const auto t0 = std::chrono::steady_clock::now();
    Input in;
    if (!ReadInput(input.get(), s, in, lastMouse)) break;
    if (in.key == SDLK_F12) renderer->Screenshot("demo-shot");
    const SceneId next = scenes[current]->Update(ctx, in);
    if (next == SCENE_QUIT) break;
    if (next != current) {
      current = next;
      scenes[current]->Enter(ctx);
    }
    scenes[current]->Draw(ctx);
    renderer->Present();
    frameMs.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    ++frame;
    if (s.frames && frame % 100 == 0) renderer->Screenshot("demo-out/shot");
    if (s.frames && frame >= s.frames) break;
    if (s.headless) {
      // As fast as the machine goes, the sound keeping step with game time.
      audio.Follow(frame, "demo-out/demo.raw");
      continue;
    }
    // 60 frames per second: wait for this frame's slot, counted from the
    // start so that rounding never accumulates.
    const Uint32 due = start + static_cast<Uint32>(frame * 1000LL / 60);
    const Uint32 now = SDL_GetTicks();
    if (static_cast<int32_t>(due - now) > 0) timer.WaitAcc(due - now);
  }
  if (s.headless) audio.Follow(frame, "demo-out/demo.raw");  // the last frame's sound
  renderer->FadeOut();
  audio.Close();
  renderer.reset();
  SaveSettings(s);

  double seconds = 0;
  if (s.headless) {
    seconds = WrapAudio(frame);
    ConvertShots();
  }
  std::sort(frameMs.begin(), frameMs.end());
  const double median = frameMs.empty() ? 0 : frameMs[frameMs.size() / 2];
  std::printf(
      "demo: %d frames, score %d, %d bricks left, %.3f ms per frame (median, %s), %.2f s of "
      "audio\n",
      frame, play->Score(), play->BricksLeft(), median, s.renderer.c_str(), seconds);
  return 0;
}

}  // namespace
}  // namespace demo

int main(int argc, char** argv) {
  demo::Settings settings;
  const int status = demo::LoadSettings(argc, argv, settings);
  if (status >= 0) return status;
  if (settings.headless && settings.renderer == "gl") {
    const char* display = std::getenv("DISPLAY");
    if ((!display || !*display) && settings.rendererGiven) {
      std::fprintf(stderr,
                   "demo: --gl needs a display; run it under xvfb-run for a headless run\n");
      return 2;
    }
    if (!display || !*display) {
      // The saved setting asks for OpenGL, but there is no display: draw
      // in software this time and keep the setting.
      std::printf("demo: no display for OpenGL; drawing in software this time\n");
      settings.savedRenderer = settings.renderer;
      settings.renderer = "software";
    }
  }
  const int rc = demo::Run(settings);
  delete QVRTranslator::Singleton();
  return rc;
}
