// The demo's 256-colour palette layout, shared by the asset generator (which
// writes the palette file and draws with these indices) and the game.
#ifndef DEMO_PALETTE_H
#define DEMO_PALETTE_H

namespace demo {

// Index 0 is black and is also the key colour: sprites leave it transparent.
enum Colour : unsigned {
  COL_KEY = 0,
  COL_WHITE = 1,
  COL_GREY = 2,
  COL_DARK = 3,
  COL_YELLOW = 4,
  COL_RED = 5,
  COL_CYAN = 6,
  COL_SHADOW = 7,
  COL_BRICKS = 16,   // 8 hues x 8 shades, light to dark
  COL_FIELD = 80,    // 32 steps of the playfield's background
  COL_PADDLE = 112,  // 16 steps, light to dark
  COL_BALL = 128,    // 16 steps, light to dark
  COL_SKY = 144,     // 32 steps of the title's sky
  COL_SUN = 176,     // 16 steps, light to dark
};

constexpr unsigned kBrickHues = 8;
constexpr unsigned kBrickW = 48;
constexpr unsigned kBrickH = 20;
constexpr unsigned kPaddleW = 96;
constexpr unsigned kPaddleH = 16;
constexpr unsigned kBallSize = 14;

// The light shade of hue h, 0..7 (the brick wall's dominant colours).
constexpr unsigned char kHueRGB[kBrickHues][3] = {
    {240, 64, 64},  {250, 150, 40}, {240, 220, 60}, {80, 210, 80},
    {60, 210, 220}, {70, 110, 240}, {170, 90, 230}, {240, 110, 190},
};

}  // namespace demo

#endif
