// QVRResource: loading from and saving to a named disk file.
#include "qvr3d/resource.h"

#include "qvr3d/stream.h"

QVRResource::~QVRResource() = default;

bool QVRResource::LoadName(const char* file, int param) {
  QVRFile stream(file, QVRResFile::READ);
  return Load(stream, param);
}

bool QVRResource::SaveName(const char* file, int param) {
  QVRFile stream(file, QVRResFile::READWRITE | QVRResFile::TRUNCATE);
  return Save(stream, param);
}
