// The seven built-in loaders: each sets keepStream first, builds an empty
// object of its class and fills it from the stream through Load.
#include "qvr3d/font.h"
#include "qvr3d/glfont.h"
#include "qvr3d/image.h"
#include "qvr3d/music.h"
#include "qvr3d/pal.h"
#include "qvr3d/resmgr.h"
#include "qvr3d/sound.h"
#include "qvr3d/stream.h"
#include "qvr3d/text.h"

namespace {

template <class Resource>
QVRResource* LoadInto(Resource* res, QVRResFile* stream, int param) {
  if (res->Load(*stream, param)) return res;
  delete res;
  return nullptr;
}

}  // namespace

namespace QVRResLoaders {

QVRResource* Image(QVRResFile* stream, const char*, int param, bool& keepStream) {
  keepStream = false;
  return LoadInto(new QVRImage(0, 0, 8), stream, param);
}

QVRResource* Palette(QVRResFile* stream, const char*, int param, bool& keepStream) {
  keepStream = false;
  return LoadInto(new QVRPal(0u), stream, param);
}

QVRResource* Font(QVRResFile* stream, const char*, int param, bool& keepStream) {
  keepStream = false;
  return LoadInto(new QVRFont(nullptr), stream, param);
}

QVRResource* Text(QVRResFile* stream, const char*, int param, bool& keepStream) {
  keepStream = false;
  return LoadInto(new QVRText(0), stream, param);
}

QVRResource* Sound(QVRResFile* stream, const char*, int param, bool& keepStream) {
  keepStream = false;
  return LoadInto(new QVRSound(), stream, param);
}

// The music reads its chunks from the stream while it plays: it takes the
// stream over, and deletes it when it is cleared, reloaded or destroyed (also
// right away, with itself, when the header is refused).
QVRResource* Music(QVRResFile* stream, const char*, int param, bool& keepStream) {
  keepStream = true;
  auto* music = new QVRMusic();
  if (music->LoadOwned(stream, param)) return music;
  delete music;
  return nullptr;
}

QVRResource* GLFont(QVRResFile* stream, const char*, int param, bool& keepStream) {
  keepStream = false;
  return LoadInto(new Q3DFont(nullptr), stream, param);
}

}  // namespace QVRResLoaders
