// The board trace service (closed library).
#ifndef MMBTRACE_H
#define MMBTRACE_H

extern "C" {
// Hands one trace line to the trace service. header points to 4 bytes:
// 1, 0, then the 16-bit trace id, big-endian.
int putMmbTrace(unsigned char serviceLevel, const void* header, const char* text);
}

#endif
