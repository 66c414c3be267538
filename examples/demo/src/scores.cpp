// The high-score table: a QVRScore of ten records, kept in the user's
// application-data folder; any key goes back to the title.
#include <SDL/SDL.h>

#include <cstdio>

#include "demo.h"

namespace demo {

namespace {

class Scores : public Scene {
 public:
  void Enter(Context&) override { m_frames = 0; }

  SceneId Update(Context& ctx, const Input& in) override {
    ++m_frames;
    if (in.key == SDLK_ESCAPE || (in.key && m_frames > 10) || in.click) return SCENE_TITLE;
    if (ctx.autoplay && m_frames > 120) return SCENE_TITLE;
    return SCENE_SCORES;
  }

  void Draw(Context& ctx) override {
    Renderer& r = *ctx.renderer;
    r.Background(BACK_FIELD);
    r.Text(FONT_BIG, 320, 50, Tr(TXT_HIGHSCORES), COL_YELLOW, true);
    const unsigned n = ctx.scores->Length();
    for (unsigned rank = 0; rank < n; ++rank) {
      const QVRScoreEntry* e = ctx.scores->Entry(rank);
      char line[64];
      const int y = 130 + static_cast<int>(rank) * 28;
      std::snprintf(line, sizeof line, "%2u.", rank + 1);
      r.Text(FONT_SMALL, 150, y, line, COL_GREY, false);
      r.Text(FONT_SMALL, 190, y, e->name, COL_WHITE, false);
      std::snprintf(line, sizeof line, "%s %d", Tr(TXT_LEVEL), e->level);
      r.Text(FONT_SMALL, 360, y, line, COL_GREY, false);
      std::snprintf(line, sizeof line, "%d", e->score);
      r.Text(FONT_SMALL, 490 - r.TextWidth(FONT_SMALL, line), y, line, COL_YELLOW, false);
    }
    r.Text(FONT_SMALL, 320, 440, Tr(TXT_ANYKEY), COL_GREY, true);
  }

 private:
  int m_frames = 0;
};

}  // namespace

Scene* NewScores() { return new Scores; }

}  // namespace demo
