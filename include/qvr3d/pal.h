// QVRPal: a colour table of at most 4096 four-byte entries (red, green, blue,
// alpha, the layout of SDL's colour record), loaded and saved in the own
// "QVRP" format, GIMP and JASC text palettes and raw RGB or BGR tables.
#ifndef QVR3D_PAL_H
#define QVR3D_PAL_H

#include <cstdint>

#include "qvr3d/export.h"
#include "qvr3d/resource.h"

class QVRResFile;

/// A counted array of palette entries, each four bytes red, green, blue,
/// alpha. The entry array may be handed to SDL as an array of SDL_Color.
///
///   QVRPal pal("title.gpl", QVRPal::PAL_AUTO);
///   pal.ToGreyScale();
///   pal.SaveName("title.pal", QVRPal::PAL_NATIVE);
class QVR_API QVRPal : public QVRResource {
 public:
  /// Format ids of Load, Save and FindFormat.
  enum Format : int {
    PAL_AUTO = 0,    ///< Load: detect; Save: own format
    PAL_NATIVE = 1,  ///< own "QVRP" format
    PAL_GIMP = 2,    ///< GIMP text palette
    PAL_JASC = 3,    ///< JASC (Paint Shop Pro) text palette
    PAL_RGB = 4,     ///< raw table, bytes red, green, blue
    PAL_BGR = 5,     ///< raw table, bytes blue, green, red
  };
  /// Largest number of entries a palette holds.
  static constexpr unsigned MAX_ENTRIES = 4096;

  /// `count` entries, allocated but not initialised (none when 0). More than
  /// MAX_ENTRIES is cut as Resize does.
  explicit QVRPal(unsigned count = 0);
  /// An empty palette, then Load from the named disk file when it opens (no
  /// message when it does not).
  QVRPal(const char* file, int format);
  /// An empty palette, then Load(file, format) when the stream is good.
  QVRPal(QVRResFile& file, int format);
  /// A copy of `src`'s entries; empty for a null `src`.
  explicit QVRPal(const QVRPal* src);
  QVRPal(const QVRPal& other);
  QVRPal& operator=(const QVRPal&) = delete;
  /// Frees the entries.
  ~QVRPal() override;

  /// Number of entries.
  unsigned GetCount() const { return m_count; }
  /// The entries, count x 4 bytes (red, green, blue, alpha); null when empty.
  uint8_t* GetEntries() { return m_entries; }
  const uint8_t* GetEntries() const { return m_entries; }
  /// Entry `i` (four bytes), or null when i >= count.
  uint8_t* Entry(unsigned i) { return i < m_count ? m_entries + 4 * i : nullptr; }
  const uint8_t* Entry(unsigned i) const { return i < m_count ? m_entries + 4 * i : nullptr; }
  /// Sets entry `i`; ignored when i >= count.
  void SetEntry(unsigned i, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 0);

  /// Fills `count` entries from index `first` with red, green, blue triples
  /// of `rgb` (alpha 0), growing the palette to first + count first (within
  /// MAX_ENTRIES; entries past the end are dropped). A null `rgb` does nothing.
  void SetFromRGB(const unsigned char* rgb, unsigned count, unsigned first = 0);
  /// As SetFromRGB with four bytes per entry, alpha included.
  void SetFromRGBA(const unsigned char* rgba, unsigned count, unsigned first = 0);
  /// Sets the entry count, keeping the first min(n, count) entries; new ones
  /// are not initialised. 0 frees the entries. Above MAX_ENTRIES logs
  /// "Note: palette size must be < 4096 !" and uses MAX_ENTRIES.
  void Resize(unsigned n);
  /// Grows the palette to min(n, 256) entries when smaller, then makes every
  /// entry i the grey level i * 256 / count (alpha 0).
  void GenerateGreyScale(unsigned n);
  /// Turns every entry into the grey (r + g + b) / 3, alpha 0.
  void ToGreyScale();

  /// count x 4 plus the size of the object.
  unsigned MemoryUsed() const override;
  /// Replaces the entries by the palette in `file`, format `format` (0
  /// detects). False with "QVRPal: bad file" for a stream that is not good,
  /// "Unknown palette format %d" for an unknown id, or the reader's result.
  bool Load(QVRResFile& file, int format) override;
  /// Detects the format from the first bytes (and a size of exactly 768 for
  /// raw RGB); 0 when nothing is recognised. Leaves the stream at its start.
  int FindFormat(QVRResFile& file);
  /// Own-format reader: "QVRP", count, entries. False (no message) on a wrong
  /// magic or missing entry bytes.
  bool QVRLoad(QVRResFile& file);
  /// GIMP text reader; false with "Not a Gimp palette" on a wrong header.
  bool GIMPLoad(QVRResFile& file);
  /// JASC text reader; false with "Not a Paint Shop Pro palette" on a wrong
  /// header.
  bool JASCLoad(QVRResFile& file);
  /// Raw table reader of up to 768 bytes, `format` PAL_RGB or PAL_BGR; false
  /// when nothing could be read.
  bool RGBLoad(QVRResFile& file, int format);
  /// Writes the palette in format `format` (0 writes the own format). False
  /// for a stream that is not good or an unknown id; otherwise whether the
  /// stream is still good after writing.
  bool Save(QVRResFile& file, int format) override;
  /// Logs the entries at LOG level.
  void PrintInfo() const;

 private:
  uint32_t m_count;
  uint8_t* m_entries;
};

#endif
