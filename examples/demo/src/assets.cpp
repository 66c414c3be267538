// The game's data road: one QVRResFinder searching demo-data/ (where a player
// may drop replacement files) before demo.qvra, and one QVRResMgr that loads
// and caches every picture, palette, font, sound, tune and language file by
// name.
#include <cstring>
#include <memory>

#include "demo.h"

namespace demo {

namespace {

// A file's bytes as they are. QVRTranslator reads language files from disk,
// so the game takes them out of the archive with this resource type.
class Blob : public QVRResource {
 public:
  unsigned MemoryUsed() const override { return static_cast<unsigned>(bytes.size()); }
  bool Load(QVRResFile& stream, int) override {
    char chunk[4096];
    unsigned got;
    while ((got = stream.Read(chunk, sizeof chunk)) > 0) bytes.append(chunk, got);
    return !bytes.empty();
  }
  bool Save(QVRResFile& stream, int) override {
    return stream.Write(bytes.data(), static_cast<unsigned>(bytes.size())) == bytes.size();
  }
  std::string bytes;
};

// A loader as QVRResMgr::RegisterLoader expects: build the resource from the
// stream, say whether it keeps the stream, return null on failure.
QVRResource* LoadBlob(QVRResFile* stream, const char*, int param, bool& keepStream) {
  keepStream = false;
  std::unique_ptr<Blob> blob(new Blob);
  return blob->Load(*stream, param) ? blob.release() : nullptr;
}

const char kOverrides[] = "demo-data";

}  // namespace

Assets::Assets(const std::string& archive) : m_res(nullptr), m_fallback(nullptr), m_ok(false) {
  // AddSource appends: the folder is asked first, the archive second. The
  // folder is optional; the archive is the game's data.
  m_finder.AddSource(kOverrides);
  m_ok = m_finder.AddSource(archive.c_str()) && m_archive.AddSource(archive.c_str());
  if (!m_ok) QVR::ERR("demo: cannot open the game data %s\n", archive.c_str());
  m_res = new QVRResMgr(m_finder);
  m_fallback = new QVRResMgr(m_archive);
  m_blobType = m_res->RegisterLoader(LoadBlob);
  m_fallback->RegisterLoader(LoadBlob);
}

Assets::~Assets() {
  delete m_res;  // destroys every resource still cached
  delete m_fallback;
}

QVRResource* Assets::Load(unsigned type, const char* name, bool keep) {
  if (QVRResource* r = m_res->Load(type, name, 0, keep)) return r;
  // Load returns null when the file is missing or its loader refused it.
  // A broken replacement in demo-data/ must not stop the game: take the
  // archive's own copy through the manager that sees the archive alone.
  const std::string local = std::string(kOverrides) + "/" + name;
  if (QVRFileUtils::FileExist(local.c_str())) {
    QVR::WARN("demo: %s does not load, using the copy in the game data\n", local.c_str());
    if (QVRResource* r = m_fallback->Load(type, name, 0, keep)) return r;
  }
  QVR::ERR("demo: cannot load %s\n", name);
  return nullptr;
}

std::string Assets::ExtractLanguage(const std::string& code, const std::string& folder) {
  const std::string name = "lang/" + code + ".lng";
  std::unique_ptr<QVRResource> blob(Load(m_blobType, name.c_str(), false));
  if (!blob || !MakeDirs(folder)) return "";
  const std::string path = folder + "/" + code + ".lng";
  if (!blob->SaveName(path.c_str(), 0)) return "";
  return path;
}

}  // namespace demo
