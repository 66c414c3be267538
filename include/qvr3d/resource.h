// QVRResource: the base of every object that loads from and saves to a
// stream (images, palettes, fonts, string arrays, sounds, music).
#ifndef QVR3D_RESOURCE_H
#define QVR3D_RESOURCE_H

#include "qvr3d/export.h"

class QVRResFile;

/// A loadable and saveable object; the integer of Load and Save is a format
/// id of each derived class.
///
///   QVRText lines;
///   if (lines.LoadName("intro.txt", 1)) lines.SaveName("intro.bin", 0);
class QVR_API QVRResource {
 public:
  QVRResource() = default;
  QVRResource(const QVRResource&) = default;
  QVRResource& operator=(const QVRResource&) = default;
  virtual ~QVRResource();

  /// Bytes held by the object.
  virtual unsigned MemoryUsed() const = 0;
  /// Replaces the content by what `stream` holds, read in format `param`;
  /// false on failure.
  virtual bool Load(QVRResFile& stream, int param) = 0;
  /// Writes the content to `stream` in format `param`; false on failure.
  virtual bool Save(QVRResFile& stream, int param) = 0;
  /// Opens `file` read only and returns Load's result. A file that does not
  /// open gives Load a stream that reads nothing.
  virtual bool LoadName(const char* file, int param);
  /// Creates or empties `file` and returns Save's result. A file that does not
  /// open gives Save a stream that refuses every write.
  virtual bool SaveName(const char* file, int param);
};

#endif
