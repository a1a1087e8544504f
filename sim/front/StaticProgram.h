// Tells a program linked statically from one the device shim can reach:
// the shim is preloaded by the dynamic loader, so a program without one
// (no PT_INTERP) would read the host's devices, or none, without a word.
#ifndef SIM_STATIC_PROGRAM_H
#define SIM_STATIC_PROGRAM_H

#include <string>

namespace sim {

// True when path is an ELF program (either class, either byte order) that
// names no program interpreter. False for anything else, a script or an
// unreadable file included.
bool linkedStatically(const std::string& path);

} // namespace sim

#endif
