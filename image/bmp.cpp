// Placeholder until the codec lands.
#include "image/codec.h"

namespace qvr {
namespace detail {

bool ReadBMP(QVRImage&, QVRResFile&) { return false; }
bool WriteBMP(QVRImage&, QVRResFile&) { return false; }

}  // namespace detail
}  // namespace qvr
