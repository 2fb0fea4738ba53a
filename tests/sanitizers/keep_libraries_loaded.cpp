// Linked into the programs of the sanitizer build only. LeakSanitizer counts what a library's
// globals point to as in use, but a library that is unloaded before the check takes those
// pointers with it: what it still held shows up as a leak of "<unknown module>" that no
// suppression can name. Mesa's OpenGL driver is unloaded that way when the X connection closes at
// exit, and it still holds a block it allocated at start. So here no library is ever unloaded,
// and every library is judged alike: what it allocated and lost is still reported.
#include <dlfcn.h>

extern "C" int dlclose(void* /*handle*/) noexcept { return 0; }
