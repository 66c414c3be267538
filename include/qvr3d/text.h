// QVRText: an array of owned strings with empty slots, loaded from and saved
// to plain text (one slot per line) or the binary "QVRT" form.
#ifndef QVR3D_TEXT_H
#define QVR3D_TEXT_H

#include <cstdint>

#include "qvr3d/export.h"
#include "qvr3d/resource.h"

class QVRResFile;

/// Slots indexed from 0, each an owned zero-terminated string or empty
/// (null). There is always at least one slot.
///
///   QVRText lines("credits.txt", QVRText::DETECT);
///   for (unsigned i = 0; i < lines.Count(); ++i)
///     if (lines[i]) puts(lines[i]);
class QVR_API QVRText : public QVRResource {
 public:
  /// Load formats. Save writes the binary form for 0 and 1, text for 2.
  enum Format : int { DETECT = 0, TEXT = 1, BINARY = 2 };

  /// `n` empty slots (at least 1).
  explicit QVRText(unsigned n = 1);
  /// Loads the file `file`; on failure the array is 1 empty slot.
  QVRText(const char* file, int format);
  /// Loads from `stream`; on failure the array is 1 empty slot.
  QVRText(QVRResFile& stream, int format);
  QVRText(const QVRText&) = delete;
  QVRText& operator=(const QVRText&) = delete;
  ~QVRText() override;

  /// Number of slots (empty ones included).
  unsigned Count() const { return m_count; }
  /// The string in slot `index`, null when the slot is empty or `index` is
  /// not below Count().
  const char* Get(unsigned index) const { return index < m_count ? m_strings[index] : nullptr; }
  /// Same as Get(index).
  const char* operator[](unsigned index) const { return Get(index); }
  /// Number of non-empty slots.
  unsigned Length() const;

  /// Sets the slot count to max(n, 1): strings in removed slots are released,
  /// added slots are empty. Nothing changes when memory runs out.
  void ChangeSize(unsigned n);
  /// Stores `count` characters of `s` from offset `start` (0xFFFFFFFF: to the
  /// end; the copy also stops at the end of `s`) in slot `index`, growing the
  /// array to index + 1 slots if needed and releasing the old string. A null
  /// `s` or a count of 0 leaves the slot empty; a start past the end of `s`
  /// stores "".
  void SetString(unsigned index, const char* s, unsigned start = 0, unsigned count = 0xFFFFFFFFu);
  /// Stores the text as SetString does in the first empty slot, adding one
  /// slot when none is empty. Returns the slot index, or 0xFFFFFFFF (nothing
  /// changed) for a null `s`, a count of 0 or a failed allocation.
  unsigned Append(const char* s, unsigned start = 0, unsigned count = 0xFFFFFFFFu);
  /// Empties every slot; the slot count stays.
  void Clear();

  /// Replaces the content by the stream's, in format DETECT, TEXT or BINARY.
  /// The stream must be in state OK. Text: one slot per line plus an empty
  /// last slot; an empty stream logs "TextLoad: nothing to load!" (LOG level)
  /// and fails. Binary: fails on a wrong magic or when the stream ends before
  /// the counts it announces are satisfied. On failure the content is kept.
  bool Load(QVRResFile& stream, int format) override;
  /// Writes the slots up to the last non-empty one: binary for 0 and 1, text
  /// for 2, nothing (true) for other formats. False when the stream is not in
  /// state OK on entry or after the writes, or when every slot is empty.
  bool Save(QVRResFile& stream, int format) override;
  /// 12 + 4 per slot + the string lengths (capped at 0xFFFFFFFF).
  unsigned MemoryUsed() const override;
  /// Logs the slot count and each non-empty slot at LOG level.
  void PrintInfo() const;

 private:
  bool LoadText(QVRResFile& stream);
  bool LoadBinary(QVRResFile& stream);
  void ReleaseAll();

  char** m_strings;
  uint32_t m_count;
};

#endif
