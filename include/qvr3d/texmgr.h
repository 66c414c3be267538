// Q3DTexMgr: images turned into OpenGL textures (padded to power-of-two
// sizes, converted to one of five pixel layouts) and kept in a table of named,
// reference-counted slots; Q3DTexture is the record handed to the game.
#ifndef QVR3D_TEXMGR_H
#define QVR3D_TEXMGR_H

#include <cstdint>

#include "qvr3d/export.h"

class QVRImage;
class QVRResFinder;

/// One texture as the game sees it.
struct Q3DTexture {
  uint32_t id;      ///< OpenGL texture name; 0 while lost
  uint16_t width;   ///< texture width (a power of two for textures made from images)
  uint16_t height;  ///< texture height (likewise)
  uint32_t format;  ///< GL_RGB, GL_RGBA, GL_ALPHA, GL_LUMINANCE or GL_LUMINANCE_ALPHA
  int filter;       ///< minification and magnification filter
  int wrap;         ///< GL_REPEAT or GL_CLAMP (adopted textures: their S wrap mode)
};

/// One entry of the table; all zero when free.
struct Q3DTexSlot {
  uint32_t refCount;    ///< holders; the slot is freed when it falls to 0
  char* name;           ///< owned copy of the name; null in a free slot
  Q3DTexture* texture;  ///< owned record; null in a free slot
  uint32_t source;      ///< one of Q3DTexMgr::Source
};

/// The texture table. Every operation that creates or deletes textures needs
/// the current OpenGL context (Q3DScreen::Init); names are compared exactly.
///
///   Q3DTexMgr textures(finder, 32);
///   Q3DTexture* wall = textures.LoadFromFile("wall.tga", GL_LINEAR, true, 0);
///   if (wall) glBindTexture(GL_TEXTURE_2D, wall->id);
///   ...
///   textures.FreeTexture(wall);
///   // after a new video mode (the context is lost):
///   textures.ReloadTextures();
///
/// Pixel layouts by the format argument (0 chooses from the image):
/// - 0, GL_RGB, GL_RGBA: 8-bit images become GL_RGB through their palette
///   (black past its end; an 8-bit image without palette gives grey levels
///   R = G = B = index); 24-bit images GL_RGB (bytes b0 b1 b2 become b2 b1
///   b0); 32-bit images GL_RGBA with alpha = 255 - fourth byte; 15- and
///   16-bit images are refused.
/// - GL_ALPHA, GL_LUMINANCE: 8-bit images, their bytes as they are.
/// - GL_LUMINANCE_ALPHA: 8-bit images, each byte twice.
/// The padding of an image to power-of-two sizes holds what a zero pixel
/// converts to.
class QVR_API Q3DTexMgr {
 public:
  /// "No slot", the failure result of Add and FindTexture.
  static constexpr unsigned NONE = 0xFFFFFFFFu;
  /// Where a slot's texture came from.
  enum Source : uint32_t {
    SOURCE_FILE = 0,     ///< LoadFromFile (rebuilt by ReloadTextures)
    SOURCE_IMAGE = 2,    ///< LoadFromImage
    SOURCE_ADOPTED = 3,  ///< AddTexture
    SOURCE_ADD = 4,      ///< Add called directly
  };

  /// A table of `capacity` free slots (at least 4) looking files up through
  /// `finder`, which must outlive the manager.
  explicit Q3DTexMgr(const QVRResFinder& finder, unsigned int capacity = 4);
  Q3DTexMgr(const Q3DTexMgr&) = delete;
  Q3DTexMgr& operator=(const Q3DTexMgr&) = delete;
  /// Frees every used slot (deleting its texture) and logs
  /// "~TexMgr: %d textures deleted.\n" (DBG).
  ~Q3DTexMgr();

  /// Grows the table to `capacity` slots; never shrinks it.
  void Realloc(unsigned int capacity);

  /// A slot with this name: its count is raised and its record returned.
  /// Otherwise the image file is found through the finder, loaded (format
  /// detected) and added with inPlace; the slot's source is SOURCE_FILE.
  /// Null when the file is missing (silently) or cannot be made a texture.
  Q3DTexture* LoadFromFile(const char* name, int filter, bool repeat, unsigned int format);
  /// As LoadFromFile from an image the game holds (source SOURCE_IMAGE); the
  /// image is not changed (the padding and conversion go to a new buffer).
  /// Null for a null image.
  Q3DTexture* LoadFromImage(const char* name, const QVRImage* image, int filter, bool repeat,
                            unsigned int format);
  /// Makes a texture of `image` (Algorithms of the class comment) with
  /// `filter` for both filters and GL_REPEAT or GL_CLAMP in both directions,
  /// into a new slot (index NONE: count 1, source SOURCE_ADD; no lookup by
  /// name) or into the used slot `index`, whose name, count, source and
  /// record stay (the record gets the new texture). With inPlace the image is
  /// padded (its canvas enlarged, "TexMgr: image resized (%d x %d -> %d x
  /// %d)\n" at WARN) and converted in its own buffer; without it the image is
  /// never changed. Returns the slot index, or NONE after a logged failure
  /// that left the table unchanged (and the image too, unless OpenGL itself
  /// refused the upload of an image converted in place). A null name or
  /// image, an image without pixels, a texture larger than the driver's
  /// limit, or a free or out-of-range `index` fail.
  unsigned int Add(const char* name, QVRImage* image, int filter, bool repeat, bool inPlace,
                   unsigned int index, unsigned int format);
  /// Adopts the texture `glName` the game made (source SOURCE_ADOPTED): its
  /// filter, S wrap mode, size and internal format are read back. A slot with
  /// this name is returned as it is (its count is not raised). Null with
  /// "TexMgr: invalid texture index %d\n" (ERR) when glName is no texture.
  Q3DTexture* AddTexture(const char* name, unsigned int glName);

  /// The record of the first slot with this name, null when none; the
  /// count is not touched.
  Q3DTexture* GetTexture(const char* name);
  /// The record of the first slot whose texture is `glName`.
  Q3DTexture* GetTexture(unsigned int glName);
  /// The slot name of the texture `glName`, null when none.
  const char* GetTextureName(unsigned int glName);
  /// The index of the first slot with this name, NONE when none.
  unsigned int FindTexture(const char* name);

  /// Drops one holder of the used slot `index` (all of them with `force`);
  /// the last one frees the slot and deletes its texture. False, touching
  /// nothing, for an index out of range or a free slot.
  bool FreeTextureP(unsigned int index, bool force);
  /// FreeTextureP(slot, false) for the first slot with this name; false when
  /// none or for a null name.
  bool FreeTexture(const char* name);
  /// Likewise for the slot holding this record.
  bool FreeTexture(Q3DTexture* texture);
  /// Likewise for the slot of the texture `glName` (0 never matches).
  bool FreeTexture(unsigned int glName);

  /// After a lost context: every texture made from a file is loaded again
  /// into its slot and record (with a new id); every other lost texture is
  /// freed with "Reload texture: can not reload %s\n" (WARN), and a file that
  /// fails to load again with "Reload texture failed %s\n" (WARN). Nothing
  /// happens when no texture was lost.
  void ReloadTextures();

  /// Number of slots.
  unsigned int GetCapacity() const { return m_capacity; }
  /// The slot the next new texture takes.
  unsigned int GetNext() const { return m_next; }
  /// Slot `index`, null when out of range.
  const Q3DTexSlot* GetSlot(unsigned int index) const {
    return index < m_capacity ? &m_slots[index] : nullptr;
  }

 private:
  // Index of a new used slot (growing the table by 8 when full), NONE when
  // memory runs out.
  unsigned NewSlot(const char* name, uint32_t source);
  // Moves m_next past used slots.
  void AdvanceNext();
  // Loads the file `name` through the finder; null when missing or bad.
  QVRImage* LoadImage(const char* name) const;

  Q3DTexSlot* m_slots;
  unsigned int m_capacity;
  unsigned int m_next;
  const QVRResFinder* m_finder;
};

#endif
