// The OpenGL renderer: the same scene with Q3DScreen, textures made by
// Q3DTexMgr from the images the resource manager loaded, and Q3DFont text.
#include <SDL/SDL.h>

#include <cstring>

#include "demo.h"

namespace demo {

namespace {

// An 8-bit sprite as a 32-bit image whose key colour is transparent.
// Q3DTexMgr turns 8-bit images into opaque GL_RGB through their palette; a
// 32-bit image (bytes blue, green, red, transparency) becomes GL_RGBA.
QVRImage* Keyed(const QVRImage* src, const QVRPal* pal) {
  QVRImage* out = new QVRImage(src->GetWidth(), src->GetHeight(), 32);
  const uint8_t* in = src->GetPixels();
  uint8_t* px = out->GetPixels();
  for (unsigned i = 0; i < src->GetWidth() * src->GetHeight(); ++i, px += 4) {
    const uint8_t* c = pal->Entry(in[i]);
    px[0] = c[2];
    px[1] = c[1];
    px[2] = c[0];
    px[3] = in[i] == COL_KEY ? 255 : 0;
  }
  return out;
}

class GLRenderer : public Renderer {
 public:
  ~GLRenderer() override {
    delete m_textures;  // deletes the textures while the context lives
    delete m_screen;
  }

  bool Open(const Settings& s, Assets& assets) override {
    m_palette = static_cast<QVRPal*>(assets.Load(QVRResMgr::RES_PALETTE, "gfx/game.qvrp"));
    if (!m_palette) return false;
    m_screen = Q3DScreen::Singleton();
    // Double-buffered on a display. Headless runs draw single-buffered:
    // BMPScreenshot reads the front buffer, and Mesa under Xvfb does not keep
    // a swapped frame there to read back.
    unsigned flags = s.fullscreen ? SDL_FULLSCREEN : 0;
    if (s.headless)
      SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 0);
    else
      flags |= SDL_DOUBLEBUF;
    m_single = s.headless;
    if (!m_screen->Init(static_cast<unsigned>(s.width), static_cast<unsigned>(s.height), flags, 32))
      return false;
    m_screen->SetNames("QVR3d Bricks (OpenGL)", "Bricks");
    // The texture manager wants a finder for LoadFromFile; every image here
    // comes from the resource manager instead, through LoadFromImage.
    m_textures = new Q3DTexMgr(m_noFiles, 16);
    const char* backs[2] = {"gfx/title.pcx", "gfx/field.pcx"};
    for (int i = 0; i < 2; ++i) {
      QVRImage* img = assets.Image(backs[i]);
      if (!img) return false;
      m_back[i] = m_textures->LoadFromImage(backs[i], img, GL_NEAREST, false, 0);
    }
    const char* sprites[3] = {"gfx/bricks.bmp", "gfx/paddle.tga", "gfx/ball.tga"};
    for (int i = 0; i < 3; ++i) {
      QVRImage* img = assets.Image(sprites[i]);
      if (!img) return false;
      QVRImage* keyed = Keyed(img, m_palette);
      m_sprite[i] = m_textures->LoadFromImage(sprites[i], keyed, GL_NEAREST, false, 0);
      delete keyed;
    }
    // A depth-8 font's sheet holds the glyph coverage: as a GL_ALPHA texture
    // it tints with the current colour. The sheet is read as an image (not
    // kept: the cache holds the name as a font) and the metrics as a Q3DFont.
    const char* fonts[2] = {"fonts/glsmall.fnt", "fonts/glbig.fnt"};
    for (int i = 0; i < 2; ++i) {
      QVRImage* sheet = static_cast<QVRImage*>(assets.Load(QVRResMgr::RES_IMAGE, fonts[i], false));
      m_font[i] = static_cast<Q3DFont*>(assets.Load(QVRResMgr::RES_GLFONT, fonts[i]));
      if (!sheet || !m_font[i]) {
        delete sheet;
        return false;
      }
      m_font[i]->SetTexture(m_textures->LoadFromImage(fonts[i], sheet, GL_LINEAR, false, GL_ALPHA));
      delete sheet;
    }
    for (Q3DTexture* t : {m_back[0], m_back[1], m_sprite[0], m_sprite[1], m_sprite[2]})
      if (!t) return false;
    // One unit per game pixel, y down, the 640 x 480 game scaled to the window.
    glViewport(0, 0, s.width, s.height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 640, 480, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    return true;
  }

  void Background(BackId id) override {
    glDisable(GL_BLEND);
    Quad(m_back[id], 0, 0, 640, 480, 0, 0, 640, 480);
  }

  void Sprite(int id, int x, int y) override {
    glEnable(GL_BLEND);
    if (id < SPR_PADDLE)
      Quad(m_sprite[0], x, y, kBrickW, kBrickH, id * static_cast<int>(kBrickW), 0, kBrickW,
           kBrickH);
    else if (id == SPR_PADDLE)
      Quad(m_sprite[1], x, y, kPaddleW, kPaddleH, 0, 0, kPaddleW, kPaddleH);
    else
      Quad(m_sprite[2], x, y, kBallSize, kBallSize, 0, 0, kBallSize, kBallSize);
  }

  void Box(int x, int y, int w, int h, unsigned colour) override {
    glDisable(GL_TEXTURE_2D);
    Colour(colour);
    glRecti(x, y, x + w, y + h);
    glColor3ub(255, 255, 255);
  }

  void Text(FontId font, int x, int y, const char* text, unsigned colour, bool centre) override {
    if (centre) x -= TextWidth(font, text) / 2;
    Colour(colour);
    m_font[font]->DrawString(x, y, text, Q3DFont::ALL, 1.0f, Q3DFont::ALIGN_TOP);
    glColor3ub(255, 255, 255);
  }

  int TextWidth(FontId font, const char* text) override {
    return static_cast<int>(m_font[font]->TextWidth(text));
  }

  void Present() override {
    if (m_single)
      glFinish();
    else
      SDL_GL_SwapBuffers();
  }

  // The front buffer, the frame just shown, as a 24-bit BMP.
  bool Screenshot(const char* prefix) override { return m_screen->BMPScreenshot(prefix); }

  void FadeOut() override {}

 private:
  void Colour(unsigned index) {
    const uint8_t* c = m_palette->Entry(index);
    if (c) glColor3ub(c[0], c[1], c[2]);
  }

  // The (sx, sy, sw, sh) pixels of the image behind `t` onto (x, y, w, h).
  // Textures are padded to powers of two, so coordinates divide by their size.
  void Quad(Q3DTexture* t, int x, int y, int w, int h, int sx, int sy, int sw, int sh) {
    const float u0 = static_cast<float>(sx) / t->width, v0 = static_cast<float>(sy) / t->height;
    const float u1 = static_cast<float>(sx + sw) / t->width;
    const float v1 = static_cast<float>(sy + sh) / t->height;
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, t->id);
    glBegin(GL_QUADS);
    glTexCoord2f(u0, v0);
    glVertex2i(x, y);
    glTexCoord2f(u1, v0);
    glVertex2i(x + w, y);
    glTexCoord2f(u1, v1);
    glVertex2i(x + w, y + h);
    glTexCoord2f(u0, v1);
    glVertex2i(x, y + h);
    glEnd();
  }

  Q3DScreen* m_screen = nullptr;
  QVRResFinder m_noFiles;
  Q3DTexMgr* m_textures = nullptr;
  QVRPal* m_palette = nullptr;
  Q3DTexture* m_back[2] = {};
  Q3DTexture* m_sprite[3] = {};
  Q3DFont* m_font[2] = {};
  bool m_single = false;
};

}  // namespace

Renderer* NewGLRenderer() { return new GLRenderer; }

}  // namespace demo
