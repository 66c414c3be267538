// Placeholder until the codec lands.
#include "image/codec.h"

namespace qvr {
namespace detail {

bool ReadTGA(QVRImage&, QVRResFile&) { return false; }
bool WriteTGA(QVRImage&, QVRResFile&, bool) { return false; }

}  // namespace detail
}  // namespace qvr
