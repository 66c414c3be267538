// The title screen: the title picture, the translated keys, a ball bouncing
// across for life. SPACE or a click starts a game, H shows the high scores.
#include <SDL/SDL.h>

#include "demo.h"

namespace demo {

namespace {

class Title : public Scene {
 public:
  void Enter(Context&) override { m_frames = 0; }

  SceneId Update(Context& ctx, const Input& in) override {
    ++m_frames;
    m_x += m_dx;
    if (m_x < 40 || m_x > 600 - static_cast<int>(kBallSize)) m_dx = -m_dx;
    // Autoplay starts the game after half a second of title.
    if (in.key == SDLK_SPACE || in.key == SDLK_RETURN || in.click ||
        (ctx.autoplay && m_frames > 30))
      return SCENE_PLAY;
    if (in.key == SDLK_h) return SCENE_SCORES;
    if (in.key == SDLK_ESCAPE) return SCENE_QUIT;
    return SCENE_TITLE;
  }

  void Draw(Context& ctx) override {
    Renderer& r = *ctx.renderer;
    r.Background(BACK_TITLE);
    r.Sprite(SPR_BALL, m_x, 300);
    // Blink the prompt twice a second.
    if ((m_frames / 30) % 2 == 0) r.Text(FONT_SMALL, 320, 180, Tr(TXT_PLAY), COL_WHITE, true);
    r.Text(FONT_SMALL, 320, 210, Tr(TXT_KEYS), COL_GREY, true);
    if (ctx.autoplay) r.Text(FONT_SMALL, 320, 440, Tr(TXT_AUTOPLAY), COL_CYAN, true);
  }

 private:
  int m_frames = 0;
  int m_x = 60, m_dx = 3;
};

}  // namespace

Scene* NewTitle() { return new Title; }

}  // namespace demo
