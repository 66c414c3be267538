// Private helper of the OpenGL screen: writes a file under the first free
// numbered name (prefix000.ext, prefix001.ext, ...), never replacing one.
#ifndef QVR_GL_NUMBERED_H
#define QVR_GL_NUMBERED_H

#include <cstddef>
#include <string>

namespace qvr::detail {

/// The name of number `n` (0..999): the prefix, n in three digits, `ext`.
std::string NumberedName(const char* prefix, unsigned n, const char* ext);

/// Writes the `size` bytes of `data` as the first of prefix000`ext` ..
/// prefix999`ext` that does not exist. Names that exist are skipped, also
/// one that another process creates between the test and the creation (the
/// creation is exclusive). Returns the number used, or -1 when all 1000
/// names exist or the file cannot be written (a partial file is removed).
int WriteNumberedFile(const char* prefix, const char* ext, const void* data, size_t size);

}  // namespace qvr::detail

#endif
