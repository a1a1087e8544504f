// Second trace sink: hands lines to the board trace service once its socket
// file exists.
#ifndef INIT_TRACE_FILE_H
#define INIT_TRACE_FILE_H

#include <cstdint>

class InitTraceFile {
public:
    static const uint8_t level[3];  // service level by trace level: 0, 200, 100

    static InitTraceFile* getInstance();

    // 1 once the service's socket file has been seen (and from then on), else 0.
    int isRunning();
    // Sends one line with the given trace id; 0 when the service is not running.
    int put(int traceLevel, const char* text, int traceId);

    bool running = false;
    char sockPath[256] = {};
    uint8_t traceHeader[4] = {1, 0, 0, 0};  // 1, 0, then the trace id big-endian

private:
    InitTraceFile();
    static InitTraceFile* instance;
};

#endif
