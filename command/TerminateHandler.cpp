// nvram's terminate handler, in place of the C++ runtime's: that one names
// the type of an uncaught exception and so links the runtime's demangler
// into the command (about a quarter of the board binary). main catches every
// exception, so only a broken program ever gets here, and abort() says
// enough. The runtime's own definition lies alone in its archive member,
// which the linker then never takes; std::set_terminate would not keep it
// out, since the runtime refers to it as the default.
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {

// GCOVR_EXCL_START: no test may break the program to get here
void __verbose_terminate_handler()
{
    std::abort();
}
// GCOVR_EXCL_STOP

} // namespace __gnu_cxx
