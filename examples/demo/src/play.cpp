// The game itself: a wall of bricks, a paddle and a ball; score, lives and
// levels; name entry for the high-score table when the last ball is lost.
// Everything moves by a fixed step per frame, so a run is the same on every
// machine.
#include <SDL/SDL.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "demo.h"

namespace demo {

namespace {

constexpr int kCols = 12, kRows = 6;
constexpr int kWallX = 8, kWallY = 60, kStepX = kBrickW + 4, kStepY = kBrickH + 4;
constexpr int kTop = 41;  // below the score bar
constexpr int kPaddleY = 440;
constexpr float kPi = 3.14159265f;

class Game : public Play {
 public:
  Game() { BuildWall(); }
  void Enter(Context&) override {
    m_score = 0;
    m_lives = 3;
    m_level = 1;
    m_name[0] = 0;
    m_phase = READY;
    m_paddle = 320 - kPaddleW / 2.0f;
    BuildWall();
    Stick();
  }

  int Score() const override { return m_score; }
  int BricksLeft() const override { return m_left; }

  SceneId Update(Context& ctx, const Input& in) override {
    ++m_frames;
    if (m_phase == GAMEOVER) return NameEntry(ctx, in);
    if (in.key == SDLK_ESCAPE) return SCENE_TITLE;
    if (in.key == SDLK_p) m_paused = !m_paused;
    if (m_paused) return SCENE_PLAY;
    MovePaddle(ctx, in);
    if (m_phase == READY) {
      m_x = m_paddle + kPaddleW / 2.0f - kBallSize / 2.0f;
      if (in.key == SDLK_SPACE || in.click || (ctx.autoplay && m_frames - m_phaseStart > 20))
        Launch();
    } else if (m_phase == CLEARED) {
      if (m_frames - m_phaseStart > 90) {
        ++m_level;
        BuildWall();
        Stick();
      }
    } else {
      // Two half steps, so that a fast ball cannot pass through a brick.
      for (int i = 0; i < 2 && m_phase == MOVING; ++i) Step(ctx);
    }
    return SCENE_PLAY;
  }

  void Draw(Context& ctx) override {
    Renderer& r = *ctx.renderer;
    r.Background(BACK_FIELD);
    for (int row = 0; row < kRows; ++row)
      for (int col = 0; col < kCols; ++col)
        if (m_wall[row][col] >= 0)
          r.Sprite(SPR_BRICK0 + m_wall[row][col], kWallX + col * kStepX, kWallY + row * kStepY);
    r.Sprite(SPR_PADDLE, static_cast<int>(m_paddle), kPaddleY);
    if (m_phase != GAMEOVER) r.Sprite(SPR_BALL, static_cast<int>(m_x), static_cast<int>(m_y));
    char text[80];
    std::snprintf(text, sizeof text, "%s %d", Tr(TXT_SCORE), m_score);
    r.Text(FONT_SMALL, 12, 10, text, COL_WHITE, false);
    std::snprintf(text, sizeof text, "%s %d", Tr(TXT_LEVEL), m_level);
    r.Text(FONT_SMALL, 320, 10, text, COL_YELLOW, true);
    std::snprintf(text, sizeof text, "%s %d", Tr(TXT_LIVES), m_lives);
    r.Text(FONT_SMALL, 628 - r.TextWidth(FONT_SMALL, text), 10, text, COL_WHITE, false);
    if (m_paused) Banner(r, Tr(TXT_PAUSED), nullptr);
    if (m_phase == READY && m_frames - m_phaseStart < 60) Banner(r, Tr(TXT_READY), nullptr);
    if (m_phase == CLEARED) Banner(r, Tr(TXT_CLEARED), nullptr);
    if (m_phase == GAMEOVER) {
      std::snprintf(text, sizeof text, "%s_", m_name);
      Banner(r, Tr(TXT_GAMEOVER), Tr(TXT_NAME));
      r.Text(FONT_BIG, 320, 330, text, COL_YELLOW, true);
    }
  }

 private:
  enum Phase { READY, MOVING, CLEARED, GAMEOVER };

  static void Banner(Renderer& r, const char* big, const char* small) {
    r.Box(80, 220, 480, small ? 160 : 80, COL_SHADOW);
    r.Text(FONT_BIG, 320, 232, big, COL_WHITE, true);
    if (small) r.Text(FONT_SMALL, 320, 290, small, COL_GREY, true);
  }

  void SetPhase(Phase p) {
    m_phase = p;
    m_phaseStart = m_frames;
  }

  // Level 1 is a full wall, level 2 a chequer, level 3 a pyramid, then again
  // with a faster ball.
  void BuildWall() {
    m_left = 0;
    for (int row = 0; row < kRows; ++row)
      for (int col = 0; col < kCols; ++col) {
        bool on = true;
        if (m_level % 3 == 2) on = (row + col) % 2 == 0;
        if (m_level % 3 == 0) on = col >= row && col < kCols - row;
        m_wall[row][col] = on ? (row + m_level - 1) % static_cast<int>(kBrickHues) : -1;
        m_left += on;
      }
  }

  void Stick() {
    SetPhase(READY);
    m_y = kPaddleY - kBallSize - 1.0f;
    m_x = m_paddle + kPaddleW / 2.0f - kBallSize / 2.0f;
  }

  float Speed() const { return 6.5f + 0.8f * static_cast<float>(m_level - 1); }

  void Launch() {
    SetPhase(MOVING);
    Aim(0.3f);
  }

  // Sends the ball up at `rel` (-1 left .. 1 right) times 60 degrees.
  void Aim(float rel) {
    const float a = rel * kPi / 3;
    m_vx = Speed() * std::sin(a);
    m_vy = -Speed() * std::cos(a);
  }

  void MovePaddle(Context& ctx, const Input& in) {
    if (ctx.autoplay) {
      // Under the ball, off centre by an amount that changes at each hit so
      // that the ball reaches every column.
      static const float offsets[5] = {-28, 14, -8, 30, 2};
      const float target = m_x + kBallSize / 2.0f - kPaddleW / 2.0f + offsets[m_hits % 5];
      const float d = target - m_paddle;
      m_paddle += d > 12 ? 12 : (d < -12 ? -12 : d);
    } else {
      if (in.mouseX >= 0) m_paddle = static_cast<float>(in.mouseX) - kPaddleW / 2.0f;
      if (in.left) m_paddle -= 9;
      if (in.right) m_paddle += 9;
    }
    if (m_paddle < 0) m_paddle = 0;
    if (m_paddle > 640 - kPaddleW) m_paddle = 640 - kPaddleW;
  }

  void Step(Context& ctx) {
    m_x += m_vx / 2;
    m_y += m_vy / 2;
    const int bx = static_cast<int>(m_x);
    if (m_x < 0 || m_x > 640 - kBallSize) {
      m_vx = -m_vx;
      m_x = m_x < 0 ? 0 : 640.0f - kBallSize;
      ctx.audio->Play(SFX_BOUNCE, bx);
    }
    if (m_y < kTop) {
      m_vy = -m_vy;
      m_y = kTop;
      ctx.audio->Play(SFX_BOUNCE, bx);
    }
    // The paddle: the angle follows where the ball lands on it.
    if (m_vy > 0 && m_y + kBallSize >= kPaddleY && m_y < kPaddleY + kPaddleH &&
        m_x + kBallSize > m_paddle && m_x < m_paddle + kPaddleW) {
      const float rel = (m_x + kBallSize / 2.0f - m_paddle - kPaddleW / 2.0f) / (kPaddleW / 2.0f);
      Aim(rel < -1 ? -1 : (rel > 1 ? 1 : rel));
      m_y = kPaddleY - kBallSize;
      ++m_hits;
      ctx.audio->Play(SFX_BOUNCE, bx);
    }
    if (m_y > 480) {
      ctx.audio->Play(SFX_LOSE, bx);
      if (--m_lives <= 0)
        SetPhase(GAMEOVER);
      else
        Stick();
      return;
    }
    HitBrick(ctx);
  }

  // At most one brick per half step: the ball bounces off the side it went
  // in least deep.
  void HitBrick(Context& ctx) {
    const int col0 = static_cast<int>(m_x - kWallX) / kStepX;
    const int row0 = static_cast<int>(m_y - kWallY) / kStepY;
    for (int row = row0 - 1; row <= row0 + 1; ++row)
      for (int col = col0 - 1; col <= col0 + 1; ++col) {
        if (row < 0 || row >= kRows || col < 0 || col >= kCols || m_wall[row][col] < 0) continue;
        const float x = static_cast<float>(kWallX + col * kStepX);
        const float y = static_cast<float>(kWallY + row * kStepY);
        const float ox = std::fmin(m_x + kBallSize - x, x + kBrickW - m_x);
        const float oy = std::fmin(m_y + kBallSize - y, y + kBrickH - m_y);
        if (ox <= 0 || oy <= 0) continue;
        if (ox < oy)
          m_vx = -m_vx;
        else
          m_vy = -m_vy;
        m_wall[row][col] = -1;
        m_score += 10 * m_level;
        --m_left;
        ctx.audio->Play(SFX_BRICK, static_cast<int>(x) + kBrickW / 2);
        if (m_left == 0) {
          ctx.audio->Play(SFX_LEVEL, 320);
          SetPhase(CLEARED);
        }
        return;
      }
  }

  SceneId NameEntry(Context& ctx, const Input& in) {
    size_t len = std::strlen(m_name);
    if (ctx.autoplay) {
      std::strcpy(m_name, "Autoplay");
    } else if (in.key == SDLK_BACKSPACE && len > 0) {
      m_name[len - 1] = 0;
      return SCENE_PLAY;
    } else if (in.key != SDLK_RETURN && in.key != SDLK_KP_ENTER) {
      if (in.key == SDLK_ESCAPE) return SCENE_TITLE;
      // The fonts hold Latin-1: SDL's UCS-2 codes up to 255 are those bytes.
      if (in.unicode >= 32 && in.unicode <= 255 && in.unicode != 127 && len < 15) {
        m_name[len] = static_cast<char>(in.unicode);
        m_name[len + 1] = 0;
      }
      return SCENE_PLAY;
    }
    QVRScoreEntry e = {};
    std::snprintf(e.name, sizeof e.name, "%s", m_name[0] ? m_name : "?");
    e.score = m_score;
    e.level = m_level;
    if (ctx.scores->Add(&e) >= 0 && !ctx.scores->Save(ctx.scoreFile.c_str(), false))
      QVR::WARN("demo: cannot save the high scores to %s\n", ctx.scoreFile.c_str());
    return SCENE_SCORES;
  }

  signed char m_wall[kRows][kCols];  // hue of each brick, -1 when gone
  int m_left = 0;
  int m_score = 0, m_lives = 3, m_level = 1, m_hits = 0;
  int m_frames = 0, m_phaseStart = 0;
  Phase m_phase = READY;
  bool m_paused = false;
  float m_paddle = 0;
  float m_x = 0, m_y = 0, m_vx = 0, m_vy = 0;
  char m_name[16] = {};
};

}  // namespace

Play* NewPlay() { return new Game; }

}  // namespace demo
