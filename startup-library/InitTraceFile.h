#ifndef INIT_TRACE_FILE_H
#define INIT_TRACE_FILE_H

#include <cstdint>

/// Second trace sink: hands lines to the board trace service once its socket
/// file exists.
class InitTraceFile {
public:
    static const uint8_t level[3];  ///< service level by trace level: 0, 200, 100

    /// The single object, created on the first call.
    static InitTraceFile* getInstance();

    /// 1 once the service's socket file has been seen (and from then on), else 0.
    int isRunning();
    /// Sends one line with the given trace id; 0 when the service is not running.
    int put(int traceLevel, const char* text, int traceId);

    /// The trace service's socket was found.
    bool running = false;
    /// The trace service's socket, with the MMB_DEBUG_PATH prefix.
    char sockPath[256] = {};
    uint8_t traceHeader[4] = {1, 0, 0, 0};  ///< 1, 0, then the trace id big-endian

private:
    InitTraceFile();
    static InitTraceFile* instance;
};

#endif
