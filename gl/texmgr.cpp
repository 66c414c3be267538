// Q3DTexMgr: the slot table, the image-to-texture path (power-of-two
// padding, the five pixel layouts, the upload) and the rebuild after a lost
// OpenGL context.
#include "qvr3d/texmgr.h"

#include <GL/gl.h>

#include <cstring>
#include <memory>
#include <new>

#include "gl/texconvert.h"
#include "qvr3d/core.h"
#include "qvr3d/image.h"
#include "qvr3d/pal.h"
#include "qvr3d/resfinder.h"
#include "qvr3d/stream.h"

using qvr::detail::ConvertImage;
using qvr::detail::TexConversion;
using qvr::detail::TexelBytes;

namespace {

constexpr unsigned kMinCapacity = 4;
constexpr unsigned kGrowth = 8;
// Largest side the 16-bit size fields of Q3DTexture hold as a power of two.
constexpr unsigned kMaxSide = 32768;

char* CopyName(const char* name) {
  const size_t size = std::strlen(name) + 1;
  char* copy = new (std::nothrow) char[size];
  if (copy) std::memcpy(copy, name, size);
  return copy;
}

// The smallest power of two not below n (1 for 0), 0 when above kMaxSide.
unsigned PowerOfTwo(unsigned n) {
  unsigned p = 1;
  while (p < n) {
    if (p >= kMaxSide) return 0;
    p <<= 1;
  }
  return p;
}

bool IsUsed(const Q3DTexSlot& slot) { return slot.texture != nullptr; }

// Errors left by earlier calls, so that the check after the upload sees only
// its own. Bounded: without a context some drivers never run dry.
void DrainGLErrors() {
  for (int i = 0; i < 32 && glGetError() != GL_NO_ERROR; ++i) {
  }
}

// The RGB table of an 8-bit image: its palette (black past its end), or grey
// levels without one.
void IndexTable(const QVRImage& image, uint8_t* table) {
  const QVRPal* pal = image.GetPalette();
  for (unsigned i = 0; i < 256; ++i) {
    uint8_t* t = table + 3 * i;
    if (!pal) {
      t[0] = t[1] = t[2] = static_cast<uint8_t>(i);
    } else if (const uint8_t* e = pal->Entry(i)) {
      t[0] = e[0];
      t[1] = e[1];
      t[2] = e[2];
    } else {
      t[0] = t[1] = t[2] = 0;
    }
  }
}

}  // namespace

Q3DTexMgr::Q3DTexMgr(const QVRResFinder& finder, unsigned int capacity)
    : m_slots(nullptr), m_capacity(0), m_next(0), m_finder(&finder) {
  if (capacity < kMinCapacity) capacity = kMinCapacity;
  m_slots = new (std::nothrow) Q3DTexSlot[capacity]();
  if (!m_slots) {
    // Fall back to the smallest table rather than none at all.
    capacity = kMinCapacity;
    m_slots = new Q3DTexSlot[capacity]();
  }
  m_capacity = capacity;
}

Q3DTexMgr::~Q3DTexMgr() {
  unsigned deleted = 0;
  for (unsigned i = 0; i < m_capacity; ++i) {
    if (IsUsed(m_slots[i])) {
      FreeTextureP(i, true);
      ++deleted;
    }
  }
  QVR::DBG("~TexMgr: %d textures deleted.\n", static_cast<int>(deleted));
  delete[] m_slots;
}

void Q3DTexMgr::Realloc(unsigned int capacity) {
  if (capacity <= m_capacity) return;
  Q3DTexSlot* slots = new (std::nothrow) Q3DTexSlot[capacity]();
  if (!slots) {
    QVR::ERR("TexMgr: cannot grow the table to %u slots\n", capacity);
    return;
  }
  std::memcpy(slots, m_slots, sizeof(Q3DTexSlot) * m_capacity);
  delete[] m_slots;
  m_slots = slots;
  m_capacity = capacity;
}

void Q3DTexMgr::AdvanceNext() {
  while (m_next < m_capacity && IsUsed(m_slots[m_next])) ++m_next;
}

unsigned Q3DTexMgr::NewSlot(const char* name, uint32_t source) {
  AdvanceNext();
  if (m_next >= m_capacity) {
    if (m_capacity > 0xFFFFFFFFu - kGrowth - 1) return NONE;
    Realloc(m_capacity + kGrowth);
    if (m_next >= m_capacity) return NONE;
  }
  std::unique_ptr<char[]> copy(CopyName(name));
  std::unique_ptr<Q3DTexture> record(new (std::nothrow) Q3DTexture());
  if (!copy || !record) {
    QVR::ERR("TexMgr: out of memory for %s\n", name);
    return NONE;
  }
  const unsigned index = m_next;
  Q3DTexSlot& slot = m_slots[index];
  slot.refCount = 1;
  slot.name = copy.release();
  slot.texture = record.release();
  slot.source = source;
  AdvanceNext();
  return index;
}

QVRImage* Q3DTexMgr::LoadImage(const char* name) const {
  if (!name || !m_finder) return nullptr;
  std::unique_ptr<QVRResFile> stream(m_finder->FindRes(name));
  if (!stream) return nullptr;
  std::unique_ptr<QVRImage> image(new (std::nothrow) QVRImage());
  if (!image || !image->Load(*stream, QVRImage::IMG_AUTO)) return nullptr;
  return image.release();
}

Q3DTexture* Q3DTexMgr::LoadFromFile(const char* name, int filter, bool repeat,
                                    unsigned int format) {
  if (!name) return nullptr;
  const unsigned found = FindTexture(name);
  if (found != NONE) {
    ++m_slots[found].refCount;
    return m_slots[found].texture;
  }
  std::unique_ptr<QVRImage> image(LoadImage(name));
  if (!image) return nullptr;
  const unsigned index = Add(name, image.get(), filter, repeat, true, NONE, format);
  if (index == NONE) return nullptr;
  m_slots[index].source = SOURCE_FILE;
  return m_slots[index].texture;
}

Q3DTexture* Q3DTexMgr::LoadFromImage(const char* name, const QVRImage* image, int filter,
                                     bool repeat, unsigned int format) {
  if (!name) return nullptr;
  const unsigned found = FindTexture(name);
  if (found != NONE) {
    ++m_slots[found].refCount;
    return m_slots[found].texture;
  }
  if (!image) return nullptr;
  // Without inPlace, Add only reads the image.
  const unsigned index =
      Add(name, const_cast<QVRImage*>(image), filter, repeat, false, NONE, format);
  if (index == NONE) return nullptr;
  m_slots[index].source = SOURCE_IMAGE;
  return m_slots[index].texture;
}

unsigned int Q3DTexMgr::Add(const char* name, QVRImage* image, int filter, bool repeat,
                            bool inPlace, unsigned int index, unsigned int format) {
  if (!name) return NONE;
  if (!image || !image->GetPixels() || image->GetWidth() == 0 || image->GetHeight() == 0) {
    QVR::ERR("TexMgr: no image for %s\n", name);
    return NONE;
  }
  if (index != NONE && (index >= m_capacity || !IsUsed(m_slots[index]))) {
    QVR::ERR("TexMgr: no texture in slot %u\n", index);
    return NONE;
  }

  // 1. The layout, checked before anything is changed.
  const unsigned bpp = image->GetBpp();
  const unsigned bytes = image->GetBytesPerPixel();
  TexConversion kind;
  GLenum glFormat;
  switch (format) {
    case GL_ALPHA:
    case GL_LUMINANCE:
      if (bytes != 1) {
        QVR::WARN("TexMgr: warning GL_LUMINANCE or GL_ALPHA requested for a %d bits image.\n",
                  static_cast<int>(bpp));
        return NONE;
      }
      kind = TexConversion::COPY;
      glFormat = format;
      break;
    case GL_LUMINANCE_ALPHA:
      if (bytes != 1) {
        QVR::WARN("TexMgr: warning GL_LUMINANCE_ALPHA requested for a %d bits image.\n",
                  static_cast<int>(bpp));
        return NONE;
      }
      kind = TexConversion::DOUBLE;
      glFormat = GL_LUMINANCE_ALPHA;
      break;
    case 0:
    case GL_RGB:
    case GL_RGBA:
      if (bytes == 1) {
        kind = TexConversion::INDEXED;
        glFormat = GL_RGB;
      } else if (bytes == 2) {
        QVR::ERR("TexMgr: image format = 16 bits, not supported.\n");
        return NONE;
      } else if (bytes == 3) {
        kind = TexConversion::BGR;
        glFormat = GL_RGB;
      } else if (bytes == 4) {
        kind = TexConversion::BGRT;
        glFormat = GL_RGBA;
      } else {
        QVR::ERR("TexMgr: format not supported (%d)\n", static_cast<int>(bpp));
        return NONE;
      }
      break;
    default:
      QVR::ERR("TexMgr: format not supported (%d)\n", static_cast<int>(format));
      return NONE;
  }

  // 2. The texture size, within what the driver takes.
  const unsigned width = image->GetWidth(), height = image->GetHeight();
  const unsigned texWidth = PowerOfTwo(width), texHeight = PowerOfTwo(height);
  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  if (texWidth == 0 || texHeight == 0 ||
      (maxSize > 0 &&
       (texWidth > static_cast<unsigned>(maxSize) || texHeight > static_cast<unsigned>(maxSize)))) {
    QVR::ERR("TexMgr: image too large (%d x %d)\n", static_cast<int>(width),
             static_cast<int>(height));
    return NONE;
  }
  if (texWidth != width || texHeight != height)
    QVR::WARN("TexMgr: image resized (%d x %d -> %d x %d)\n", static_cast<int>(width),
              static_cast<int>(height), static_cast<int>(texWidth), static_cast<int>(texHeight));

  // 3. The texel bytes: in the image's own buffer with inPlace where the
  // layout keeps the pixel size, else in a new buffer (the image untouched).
  uint8_t table[256 * 3];
  if (kind == TexConversion::INDEXED) IndexTable(*image, table);
  const bool sameSize = TexelBytes(kind) == bytes;
  std::unique_ptr<uint8_t[]> buffer;
  const uint8_t* texels = nullptr;
  if (inPlace && sameSize) {
    if ((texWidth != width || texHeight != height) && !image->Resize(texWidth, texHeight)) {
      QVR::ERR("TexMgr: cannot resize the image of %s\n", name);
      return NONE;
    }
    if (kind != TexConversion::COPY)
      ConvertImage(kind, image->GetPixels(), texWidth, texHeight, image->GetPixels(), texWidth,
                   texHeight, image->GetPitch(), table);
    texels = image->GetPixels();
  } else if (kind == TexConversion::COPY && texWidth == width && texHeight == height) {
    texels = image->GetPixels();
  } else {
    if (inPlace && (texWidth != width || texHeight != height) &&
        !image->Resize(texWidth, texHeight)) {
      QVR::ERR("TexMgr: cannot resize the image of %s\n", name);
      return NONE;
    }
    const size_t size = static_cast<size_t>(texWidth) * texHeight * TexelBytes(kind);
    buffer.reset(new (std::nothrow) uint8_t[size]);
    if (!buffer) {
      QVR::ERR("TexMgr: out of memory for %s\n", name);
      return NONE;
    }
    ConvertImage(kind, buffer.get(), texWidth, texHeight, image->GetPixels(), image->GetWidth(),
                 image->GetHeight(), image->GetPitch(), table);
    texels = buffer.get();
  }

  // 4. The upload. The game's unpack settings are set aside so that the
  // rows are read packed; the alignment is left at 1 afterwards.
  DrainGLErrors();
  GLuint id = 0;
  glGenTextures(1, &id);
  glBindTexture(GL_TEXTURE_2D, id);
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
  glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
  const GLint wrap = repeat ? GL_REPEAT : GL_CLAMP;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
  glTexImage2D(GL_TEXTURE_2D, 0, GLint(glFormat), GLsizei(texWidth), GLsizei(texHeight), 0,
               glFormat, GL_UNSIGNED_BYTE, texels);
  glPopClientAttrib();
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  buffer.reset();
  const GLenum error = glGetError();
  if (error != GL_NO_ERROR || id == 0) {
    QVR::ERR("TexMgr GL error %d\n", static_cast<int>(error));
    if (id != 0) glDeleteTextures(1, &id);
    return NONE;
  }

  // 5. The slot.
  const unsigned slot = index == NONE ? NewSlot(name, SOURCE_ADD) : index;
  if (slot == NONE) {
    glDeleteTextures(1, &id);
    return NONE;
  }
  QVR::DBG(" -texture[%d] %s (%d x %d x %d, id %d)\n", static_cast<int>(slot), m_slots[slot].name,
           static_cast<int>(texWidth), static_cast<int>(texHeight), glFormat == GL_RGB ? 24 : 32,
           static_cast<int>(id));
  Q3DTexture& record = *m_slots[slot].texture;
  record.id = id;
  record.width = static_cast<uint16_t>(texWidth);
  record.height = static_cast<uint16_t>(texHeight);
  record.format = glFormat;
  record.filter = filter;
  record.wrap = wrap;
  return slot;
}

Q3DTexture* Q3DTexMgr::AddTexture(const char* name, unsigned int glName) {
  if (!name) return nullptr;
  const unsigned found = FindTexture(name);
  if (found != NONE) return m_slots[found].texture;
  if (!glIsTexture(glName)) {
    QVR::ERR("TexMgr: invalid texture index %d\n", static_cast<int>(glName));
    return nullptr;
  }
  const unsigned index = NewSlot(name, SOURCE_ADOPTED);
  if (index == NONE) return nullptr;
  Q3DTexture& record = *m_slots[index].texture;
  record.id = glName;
  glBindTexture(GL_TEXTURE_2D, glName);
  GLint filter = 0, wrap = 0, width = 0, height = 0, format = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
  record.filter = filter;
  record.wrap = wrap;
  record.width = static_cast<uint16_t>(width);
  record.height = static_cast<uint16_t>(height);
  record.format = static_cast<uint32_t>(format);
  QVR::DBG("TexMgr::AddTexture parameters : %s, %d x %d, format: %d, filter: %d, repeat: %d\n",
           name, static_cast<int>(width), static_cast<int>(height), static_cast<int>(format),
           static_cast<int>(filter), static_cast<int>(wrap));
  return &record;
}

Q3DTexture* Q3DTexMgr::GetTexture(const char* name) {
  const unsigned index = FindTexture(name);
  return index == NONE ? nullptr : m_slots[index].texture;
}

Q3DTexture* Q3DTexMgr::GetTexture(unsigned int glName) {
  for (unsigned i = 0; i < m_capacity; ++i)
    if (IsUsed(m_slots[i]) && m_slots[i].texture->id == glName) return m_slots[i].texture;
  return nullptr;
}

const char* Q3DTexMgr::GetTextureName(unsigned int glName) {
  for (unsigned i = 0; i < m_capacity; ++i)
    if (IsUsed(m_slots[i]) && m_slots[i].texture->id == glName) return m_slots[i].name;
  return nullptr;
}

unsigned int Q3DTexMgr::FindTexture(const char* name) {
  if (!name) return NONE;
  for (unsigned i = 0; i < m_capacity; ++i)
    if (IsUsed(m_slots[i]) && std::strcmp(m_slots[i].name, name) == 0) return i;
  return NONE;
}

bool Q3DTexMgr::FreeTextureP(unsigned int index, bool force) {
  if (index >= m_capacity || !IsUsed(m_slots[index])) return false;
  Q3DTexSlot& slot = m_slots[index];
  if (!force && slot.refCount > 1) {
    --slot.refCount;
    return true;
  }
  delete[] slot.name;
  const GLuint id = slot.texture->id;
  if (id != 0 && glIsTexture(id)) glDeleteTextures(1, &id);
  if (index < m_next) m_next = index;
  delete slot.texture;
  slot = Q3DTexSlot();
  return true;
}

bool Q3DTexMgr::FreeTexture(const char* name) {
  const unsigned index = FindTexture(name);
  return index != NONE && FreeTextureP(index, false);
}

bool Q3DTexMgr::FreeTexture(Q3DTexture* texture) {
  if (!texture) return false;
  for (unsigned i = 0; i < m_capacity; ++i)
    if (m_slots[i].texture == texture) return FreeTextureP(i, false);
  return false;
}

bool Q3DTexMgr::FreeTexture(unsigned int glName) {
  if (glName == 0) return false;
  for (unsigned i = 0; i < m_capacity; ++i)
    if (IsUsed(m_slots[i]) && m_slots[i].texture->id == glName) return FreeTextureP(i, false);
  return false;
}

void Q3DTexMgr::ReloadTextures() {
  // 1. Every texture the context no longer knows is marked lost (id 0).
  unsigned lost = 0;
  for (unsigned i = 0; i < m_capacity; ++i) {
    Q3DTexSlot& slot = m_slots[i];
    if (!IsUsed(slot) || slot.texture->id == 0 || glIsTexture(slot.texture->id)) continue;
    slot.texture->id = 0;
    ++lost;
  }
  if (lost == 0) return;

  // 2. File textures are made again in their slot; the others cannot be.
  for (unsigned i = 0; i < m_capacity; ++i) {
    Q3DTexSlot& slot = m_slots[i];
    if (!IsUsed(slot) || slot.texture->id != 0) continue;
    if (slot.source != SOURCE_FILE) {
      QVR::WARN("Reload texture: can not reload %s\n", slot.name);
      FreeTextureP(i, true);
      continue;
    }
    const Q3DTexture record = *slot.texture;
    std::unique_ptr<QVRImage> image(LoadImage(slot.name));
    if (!image || Add(slot.name, image.get(), record.filter, record.wrap == GL_REPEAT, true, i,
                      record.format) != i) {
      QVR::WARN("Reload texture failed %s\n", slot.name);
      FreeTextureP(i, true);
    }
  }
}
