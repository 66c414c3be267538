// QVRResMgr: the by-name, reference-counted cache of resources loaded through
// a QVRResFinder, with one loader function per resource type.
#ifndef QVR3D_RESMGR_H
#define QVR3D_RESMGR_H

#include <cstdint>

#include "qvr3d/export.h"

class QVRResFile;
class QVRResFinder;
class QVRResource;

/// Builds one resource from `stream` (at the start of the file). Sets
/// `keepStream` first: false when the manager may destroy the stream after
/// the call; true when the resource has taken the stream over and deletes it
/// itself (streamed data, read while the resource lives). Returns the new
/// resource, or null on failure.
typedef QVRResource* (*QVRResLoader)(QVRResFile* stream, const char* name, int param,
                                     bool& keepStream);

/// One record of the manager's table.
struct QVRResEntry {
  uint32_t type;          ///< loader id the resource was registered under
  uint32_t references;    ///< 1 when entered
  char* name;             ///< owned copy of the name
  QVRResource* resource;  ///< owned
  bool keepsStream;       ///< its loader kept the stream (streamed data)
  QVRResFile* stream;     ///< owned: the stream a reloaded kept-stream resource other than
                          ///< music reads from (music takes its stream over); else null
  uint32_t hash;          ///< of the name, for the manager's name index
};

/// The cache. Records are kept sorted by name for FindRes and the listings,
/// and a hash index over the same records answers the by-name lookups of
/// Load, Get and Release without a search. Built-in types: 0 image, 1 palette, 2 font, 3 text, 4
/// sound, 5 music, 6 OpenGL font; RegisterLoader adds 7 onwards.
///
///   QVRResFinder finder;  finder.AddSource("data");
///   QVRResMgr res(finder);
///   QVRImage* title = static_cast<QVRImage*>(res.Load(QVRResMgr::RES_IMAGE, "title.bmp", 0,
///   true));
///   ...  res.Release(title);
class QVR_API QVRResMgr {
 public:
  enum BuiltinType : unsigned {
    RES_IMAGE = 0,
    RES_PALETTE = 1,
    RES_FONT = 2,
    RES_TEXT = 3,
    RES_SOUND = 4,
    RES_MUSIC = 5,
    RES_GLFONT = 6,
  };

  /// An empty table (4 records allocated) with the seven built-in loaders.
  /// `finder` is not owned and must outlive the manager.
  explicit QVRResMgr(const QVRResFinder& finder);
  /// Destroys every resource still in the table, whatever its count.
  ~QVRResMgr();
  QVRResMgr(const QVRResMgr&) = delete;
  QVRResMgr& operator=(const QVRResMgr&) = delete;

  /// The resource `name` of `type`: from the table (one more reference), or
  /// found through the finder and built by the type's loader. With `add` the
  /// new resource enters the table with one reference; without it the caller
  /// owns it. Null for a null or empty name, a type without loader, a name in
  /// the table under another type, a file the finder does not find, or a
  /// loader failure (logged at WARN: "ResMgr: can not load %s (type %d)\n").
  QVRResource* Load(unsigned int type, const char* name, int param, bool add);
  /// The resource `name` with one more reference, or null when not in the table.
  QVRResource* Get(const char* name);
  /// Enters `res` under `name` with one reference; the manager owns it from
  /// then on. False for a null or empty name or a name already in the table.
  bool Add(unsigned int type, const char* name, QVRResource* res);
  /// Removes one reference from `name`; the resource is destroyed at 0.
  /// False when the name is not in the table.
  bool Release(const char* name);
  /// As Release(name) for the first record holding `res`.
  bool Release(QVRResource* res);
  /// Refills the resource `name` in place from its file (every holder of the
  /// pointer sees the new content); the count is unchanged. False when the
  /// name is not in the table, the file is not found, or its Load fails.
  bool Reload(const char* name);
  /// Reloads every resource of `type`. True when there is none; otherwise the
  /// outcome of the last one in table order.
  bool ReloadType(unsigned int type);
  /// Appends a loader; returns its type id, or 0xFFFFFFFF for null.
  unsigned int RegisterLoader(QVRResLoader loader);
  /// Replaces the loader of `type`; resources already loaded stay as they
  /// are. False for a type without loader or a null function.
  bool ChangeLoader(unsigned int type, QVRResLoader loader);
  /// Binary search of the sorted table: true with `pos` the record of
  /// `name`, false with `pos` the place it would be inserted (unchanged for
  /// a null or empty name).
  bool FindRes(const char* name, unsigned int& pos) const;
  /// Logs "Resource Manager : (%d entries, %d alloc)\n" and one line per
  /// record at LOG level.
  void PrintContent() const;

  /// Records in use and allocated.
  unsigned int Count() const { return m_count; }
  unsigned int Alloc() const { return m_alloc; }
  /// Record `i` in name order, null past the end.
  const QVRResEntry* Entry(unsigned int i) const { return i < m_count ? m_table[i] : nullptr; }
  /// Number of loaders registered.
  unsigned int NbLoaders() const { return m_nbLoaders; }

 protected:
  /// Inserts a record with one reference at `pos` (held to the count),
  /// growing the table by doubling when full.
  void PrivateAdd(unsigned int pos, unsigned int type, const char* name, QVRResource* res);
  /// Removes record `pos`, destroying its resource when `destroy` is true.
  void PrivateRemove(unsigned int pos, bool destroy);

 private:
  QVR_LOCAL bool ReloadEntry(QVRResEntry& entry);
  QVR_LOCAL QVRResEntry* Lookup(const char* name) const;
  QVR_LOCAL void IndexInsert(QVRResEntry* entry);
  QVR_LOCAL void IndexErase(const QVRResEntry* entry);

  uint32_t m_count;
  uint32_t m_alloc;
  QVRResEntry** m_table;  // m_alloc slots, the first m_count in name order
  QVRResEntry** m_index;  // open addressing over the same records, m_indexMask + 1 slots
  uint32_t m_indexMask;
  QVRResLoader* m_loaders;
  uint32_t m_nbLoaders;
  uint32_t m_loaderAlloc;
  const QVRResFinder* m_finder;
};

/// The built-in loaders, as the manager registers them.
namespace QVRResLoaders {
QVR_API QVRResource* Image(QVRResFile* stream, const char* name, int param, bool& keepStream);
QVR_API QVRResource* Palette(QVRResFile* stream, const char* name, int param, bool& keepStream);
QVR_API QVRResource* Font(QVRResFile* stream, const char* name, int param, bool& keepStream);
QVR_API QVRResource* Text(QVRResFile* stream, const char* name, int param, bool& keepStream);
QVR_API QVRResource* Sound(QVRResFile* stream, const char* name, int param, bool& keepStream);
QVR_API QVRResource* Music(QVRResFile* stream, const char* name, int param, bool& keepStream);
QVR_API QVRResource* GLFont(QVRResFile* stream, const char* name, int param, bool& keepStream);
}  // namespace QVRResLoaders

#endif
