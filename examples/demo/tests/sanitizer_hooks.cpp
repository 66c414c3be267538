// Linked into the demo in sanitizer builds only, for its OpenGL test run: the
// same leak-checker hooks as the library's own OpenGL display tests.
#include "../../../tests/common/gl_leak_hooks.h"
