// Placeholder until the codec lands.
#include "image/codec.h"

namespace qvr {
namespace detail {

bool ReadPCX(QVRImage&, QVRResFile&) { return false; }
bool WritePCX(QVRImage&, QVRResFile&) { return false; }

}  // namespace detail
}  // namespace qvr
