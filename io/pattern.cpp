// The file-name patterns of directory searches: the same rule on every
// platform, whatever the system's own search matches.
#include <cstring>

#include "io/platform.h"

namespace qvr::detail {

namespace {

unsigned char FoldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

}  // namespace

bool MatchPattern(const char* pattern, const char* name) {
  if (!pattern || !name) return false;
  if (strcmp(pattern, "*.*") == 0) return true;
  // Greedy match with one backtrack point: the last "*" seen.
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name) {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == '?' || (*pattern && FoldAscii(static_cast<unsigned char>(*pattern)) ==
                                                   FoldAscii(static_cast<unsigned char>(*name)))) {
      ++pattern;
      ++name;
    } else if (star) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == 0;
}

}  // namespace qvr::detail
