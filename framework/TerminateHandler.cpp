#include <cstdlib>

// The runtime's default terminate handler writes the exception's demangled
// type to standard error, which none of our modules has, and links the whole
// C++ demangler (about 46 KB) into every module for it. This one ends the
// same way without the message, so the demangler stays out.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx
