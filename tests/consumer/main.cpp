// Smallest program a game would write against the installed library.
#include <qvr3d/qvr3d.h>

#include <cstdio>
#include <cstring>

int main() {
  if (std::strcmp(QVR::Versiont(), "0.20.0") != 0 || QVR::Versioni() != 2000) {
    std::fprintf(stderr, "unexpected version %s\n", QVR::Versiont());
    return 1;
  }
  QVR::RandomInit(1);
  if (QVR::Randomi() != 16838) return 1;
  QVRString s("consumer");
  s += " ok";
  QVR::LOG("%s %s\n", s.Text(), QVR::Versiont());
  return 0;
}
