// QVRResFinder: the ordered search path of directories and archives through
// which resources are opened by name.
#ifndef QVR3D_RESFINDER_H
#define QVR3D_RESFINDER_H

#include <vector>

#include "qvr3d/export.h"

class QVRFileProvider;
class QVRResFile;

/// An ordered list of sources (directories and archive files), each asked in
/// turn for a name; the first that opens it wins.
///
///   QVRResFinder finder;
///   finder.AddSource("data", false);
///   finder.AddSource("patch.pak", true);   // searched before "data"
///   QVRResFile* f = finder.FindRes("title.bmp");
class QVR_API QVRResFinder {
 public:
  static constexpr unsigned NONE = 0xFFFFFFFFu;

  /// An empty search path.
  QVRResFinder();
  QVRResFinder(const QVRResFinder&) = delete;
  QVRResFinder& operator=(const QVRResFinder&) = delete;
  /// Destroys every source.
  ~QVRResFinder();

  /// Position of the first source whose Name() is spelt as `name`: "\" and
  /// "/" count as one separator, and on Windows letter case is ignored as
  /// its file systems ignore it. NONE for null, empty or no match.
  unsigned FindSource(const char* name) const;
  /// Adds the directory or archive file `name`, searched before the others
  /// when `first` is true, else after them. True when it was added or a
  /// source of that name is already present; false when it does not
  /// exist, is not a readable directory or not an archive of a supported
  /// format. Nothing is logged.
  bool AddSource(const char* name, bool first = false);
  /// Removes and destroys the source named exactly `name`; false when there
  /// is none.
  bool RemoveSource(const char* name);
  /// Opens `name` from the first source that has it; null when none has it.
  /// The caller owns the stream.
  QVRResFile* FindRes(const char* name) const;
  /// The sources in search order at LOG level.
  void PrintInfo() const;

  /// Number of sources.
  unsigned NbSources() const { return static_cast<unsigned>(m_sources.size()); }
  /// Source `i` in search order, null when out of range; owned by the finder.
  QVRFileProvider* GetSource(unsigned i) const {
    return i < m_sources.size() ? m_sources[i] : nullptr;
  }

 private:
  std::vector<QVRFileProvider*> m_sources;
};

#endif
