// The software renderer: a 640 x 480 8-bit QVRImage as the back buffer, the
// sprites copied onto it with TCopyImage (colour 0 is transparent), text
// drawn with bitmap fonts, then the whole frame copied to the QVRScreen.
#include <SDL/SDL.h>

#include "demo.h"

namespace demo {

namespace {

class SoftRenderer : public Renderer {
 public:
  ~SoftRenderer() override { delete m_screen; }

  bool Open(const Settings& s, Assets& assets) override {
    m_palette = static_cast<QVRPal*>(assets.Load(QVRResMgr::RES_PALETTE, "gfx/game.qvrp"));
    m_back[BACK_TITLE] = assets.Image("gfx/title.pcx");
    m_back[BACK_FIELD] = assets.Image("gfx/field.pcx");
    m_bricks = assets.Image("gfx/bricks.bmp");
    m_paddle = assets.Image("gfx/paddle.tga");
    m_ball = assets.Image("gfx/ball.tga");
    m_font[FONT_SMALL] = static_cast<QVRFont*>(assets.Load(QVRResMgr::RES_FONT, "fonts/small.fnt"));
    m_font[FONT_BIG] = static_cast<QVRFont*>(assets.Load(QVRResMgr::RES_FONT, "fonts/big.fnt"));
    if (!m_palette || !m_back[0] || !m_back[1] || !m_bricks || !m_paddle || !m_ball || !m_font[0] ||
        !m_font[1])
      return false;
    m_screen = QVRScreen::Singleton();
    // An 8-bit screen: the palette is the hardware's, so fades cost nothing.
    if (!m_screen->Init(static_cast<unsigned>(s.width), static_cast<unsigned>(s.height),
                        s.fullscreen ? SDL_FULLSCREEN : 0, 8)) {
      QVR::ERR("demo: no %d x %d 8-bit video mode\n", s.width, s.height);
      return false;
    }
    m_screen->SetNames("QVR3d Bricks", "Bricks");
    m_screen->SetIcon(m_ball, true, COL_KEY);
    m_screen->BlackOut();  // black colours until the first frame fades in
    m_ox = (s.width - 640) / 2;
    m_oy = (s.height - 480) / 2;
    return m_frame.NewFormat(640, 480, 8);
  }

  void Background(BackId id) override { m_frame.CopyImage(0, 0, m_back[id], 0, 0, 640, 480); }

  void Sprite(int id, int x, int y) override {
    if (id < SPR_PADDLE)
      m_frame.TCopyImage(x, y, COL_KEY, m_bricks, id * static_cast<int>(kBrickW), 0, kBrickW,
                         kBrickH);
    else if (id == SPR_PADDLE)
      m_frame.TCopyImage(x, y, COL_KEY, m_paddle, 0, 0, kPaddleW, kPaddleH);
    else
      m_frame.TCopyImage(x, y, COL_KEY, m_ball, 0, 0, kBallSize, kBallSize);
  }

  void Box(int x, int y, int w, int h, unsigned colour) override {
    m_frame.Rectangle(x, y, static_cast<unsigned>(w), static_cast<unsigned>(h), colour);
  }

  void Text(FontId font, int x, int y, const char* text, unsigned colour, bool centre) override {
    if (centre) x -= TextWidth(font, text) / 2;
    m_frame.DrawText(x, y, text, colour, m_font[font], ALIGN_TOP);
  }

  int TextWidth(FontId font, const char* text) override {
    return static_cast<int>(m_font[font]->TextWidth(text));
  }

  void Present() override {
    m_screen->CopyImage(m_ox, m_oy, &m_frame, 0, 0, 640, 480);
    m_screen->Refresh(m_ox, m_oy, 640, 480);
    if (!m_shown) {
      m_shown = true;
      m_screen->FadeIn(m_palette, 32);
    }
  }

  // Numbered 8-bit BMPs of the screen: prefix000.bmp, prefix001.bmp, ...
  bool Screenshot(const char* prefix) override { return m_screen->BMPScreenshot(prefix); }

  void FadeOut() override { m_screen->FadeOut(32); }

 private:
  QVRScreen* m_screen = nullptr;
  QVRImage m_frame;
  QVRPal* m_palette = nullptr;
  QVRImage* m_back[2] = {};
  QVRImage* m_bricks = nullptr;
  QVRImage* m_paddle = nullptr;
  QVRImage* m_ball = nullptr;
  QVRFont* m_font[2] = {};
  int m_ox = 0, m_oy = 0;
  bool m_shown = false;
};

}  // namespace

Renderer* NewSoftRenderer() { return new SoftRenderer; }

}  // namespace demo
