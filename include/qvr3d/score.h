// QVRScore: a fixed-size high-score table of (name, score, level) records,
// ranked in either direction, with its small binary file.
#ifndef QVR3D_SCORE_H
#define QVR3D_SCORE_H

#include <cstdint>

#include "qvr3d/export.h"

class QVRResFile;

/// One record, also the 28-byte record of the score file. An empty name
/// (first byte 0) marks an empty slot.
struct QVRScoreEntry {
  char name[20];  ///< at most 19 characters and a terminator
  int32_t score;
  int32_t level;
};

/// Filled slots come first, ordered by score; empty slots follow.
///
///   QVRScore table(10, QVRScore::HIGHEST_FIRST, 0);
///   QVRScoreEntry e = {"Ann", 1200, 3};
///   int rank = table.Add(&e);  // -1 when the score does not make the table
class QVR_API QVRScore {
 public:
  /// Ranking direction; any value other than 0 ranks lower scores first.
  enum SortOrder : int {
    HIGHEST_FIRST = 0,
    LOWEST_FIRST = 1,
  };

  /// Size 0: no slots. Otherwise at least 3 slots, each empty with level 0
  /// and `score`.
  QVRScore(unsigned int size, SortOrder order, int score);
  ~QVRScore();
  QVRScore(const QVRScore&) = delete;
  QVRScore& operator=(const QVRScore&) = delete;

  /// Filled slots counted from rank 0 up to the first empty one.
  unsigned int Length() const;
  /// Number of slots.
  unsigned int Size() const { return m_size; }
  /// The ranking direction.
  SortOrder GetSortOrder() const { return m_order; }
  /// The slot at `rank`, null when out of range.
  const QVRScoreEntry* Entry(unsigned int rank) const;
  /// Changes the direction and reverses the slots (empty ones included) so
  /// that the ranking matches it; nothing when the order is the same.
  void SetSortOrder(SortOrder order);
  /// Changes the number of slots (at least 3), keeping the first records; new
  /// slots are empty with score 0. Nothing when the size is the same.
  void Resize(unsigned int size);
  /// Inserts a copy of `*entry` at its rank (after equal scores), dropping
  /// the last slot. Returns the rank, or -1 when `entry` is null, there are
  /// no slots, or the score does not beat the last slot's.
  int Add(QVRScoreEntry* entry);
  /// Empties every slot with level 0 and `score`; size and order stay.
  void Reset(int score);
  /// Reads a score file. False when it cannot be opened or has another magic
  /// (the table is unchanged), or when it holds fewer records than it
  /// announces (the table then keeps the whole records that were there).
  bool Load(const char* file);
  /// Reads a score file from the stream's current position, as Load(file).
  bool Load(QVRResFile& stream);
  /// Writes the table, with names inverted when `invert` is true (names that
  /// an inversion could not carry make the file store plain names). False
  /// when there are no slots or the file cannot be written.
  bool Save(const char* file, bool invert) const;
  /// Writes to a writable stream, as Save(file, invert).
  bool Save(QVRResFile& stream, bool invert) const;
  /// Writes the table to the log at LOG level.
  void PrintInfo() const;

 private:
  QVRScoreEntry* m_entries;
  uint32_t m_size;
  SortOrder m_order;
};

#endif
