// QVRResFinder: an ordered list of directories and archives asked in turn
// for a resource name.
#include "qvr3d/resfinder.h"

#include <cstring>
#include <memory>

#include "io/platform.h"
#include "qvr3d/archive.h"
#include "qvr3d/core.h"
#include "qvr3d/fileutils.h"

QVRResFinder::QVRResFinder() = default;

QVRResFinder::~QVRResFinder() {
  for (QVRFileProvider* source : m_sources) delete source;
}

unsigned QVRResFinder::FindSource(const char* name) const {
  if (name == nullptr || name[0] == 0) return NONE;
  for (unsigned i = 0; i < m_sources.size(); ++i) {
    const char* own = m_sources[i]->Name();
    if (qvr::detail::SamePathSpelling(own, name)) return i;
  }
  return NONE;
}

bool QVRResFinder::AddSource(const char* name, bool first) {
  if (name == nullptr || name[0] == 0) return false;
  if (FindSource(name) != NONE) return true;
  if (!QVRFileUtils::FileExist(name)) return false;
  std::unique_ptr<QVRFileProvider> source;
  if (QVRFileUtils::IsDir(name)) {
    std::unique_ptr<QVRDir> dir(new QVRDir(QVRDir::Unlisted()));
    if (!dir->Open(name)) return false;
    source = std::move(dir);
  } else {
    source.reset(QVRArchive::OpenArchive(name));
    if (!source) return false;
  }
  if (first) {
    m_sources.insert(m_sources.begin(), source.get());
  } else {
    m_sources.push_back(source.get());
  }
  source.release();
  return true;
}

bool QVRResFinder::RemoveSource(const char* name) {
  unsigned i = FindSource(name);
  if (i == NONE) return false;
  QVRFileProvider* source = m_sources[i];
  m_sources.erase(m_sources.begin() + i);
  delete source;
  return true;
}

QVRResFile* QVRResFinder::FindRes(const char* name) const {
  if (name == nullptr || name[0] == 0) return nullptr;
  for (QVRFileProvider* source : m_sources) {
    if (QVRResFile* file = source->OpenFile(name)) return file;
  }
  return nullptr;
}

void QVRResFinder::PrintInfo() const {
  QVR::LOG("Resource Finder sources (%d):\n", static_cast<int>(m_sources.size()));
  if (m_sources.empty()) {
    QVR::LOG("none.\n");
    return;
  }
  for (const QVRFileProvider* source : m_sources) {
    QVR::LOG("- %s\n", source->Name() ? source->Name() : "(null)");
  }
}
