// Copies one file (C library only; used by the shim and the host libraries).
#ifndef SIM_FILE_COPY_H
#define SIM_FILE_COPY_H

namespace sim {

// False when the source cannot be read or the copy not written whole.
bool copyFile(const char* from, const char* to);

} // namespace sim

#endif
