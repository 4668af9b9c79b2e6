// Ending the process at once, after the leak check when the build has LeakSanitizer.
#include "platform/process.h"

#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#define KESTRUNE_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(leak_sanitizer)
#define KESTRUNE_LEAK_CHECK 1
#endif
#endif
#if defined(KESTRUNE_LEAK_CHECK)
#include <sanitizer/lsan_interface.h>
#endif

#if defined(KESTRUNE_LEAK_CHECK)
// Memory that system libraries keep for the life of the process is theirs to free, not ours:
// SDL's D-Bus connection holds buffers the leak check cannot see referenced.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}
// A clean run writes nothing to the standard error stream, not even the suppressions used.
extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0";
}
#endif

namespace kestrune {

void endProcessAtOnce(int status) {
#if defined(KESTRUNE_LEAK_CHECK)
    __lsan_do_leak_check();
#endif
    std::_Exit(status);
}

} // namespace kestrune
