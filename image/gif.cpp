// Placeholder until the codec lands.
#include "image/codec.h"

namespace qvr {
namespace detail {

bool ReadGIF(QVRImage&, QVRResFile&) { return false; }

}  // namespace detail
}  // namespace qvr
