// The handler the C++ runtime calls when an exception escapes (nothing of
// ours lets one: failures are results). The runtime's own handler prints the
// exception's type name, and for that it carries the whole C++ name
// demangler, with the C99 printf it uses: about 60 KB of every program. This
// definition takes the place of that one at link time, so it is compiled into
// each program itself rather than into a library (see CMakeLists.txt).

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
    std::fputs("varnhold: an exception was not caught; the program ends.\n", stderr);
    std::abort();
}

}  // namespace __gnu_cxx
