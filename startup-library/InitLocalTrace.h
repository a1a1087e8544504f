// First trace sink: appends every trace line to a local trace file of at
// most 1001 lines and, once the trace service runs, replays it there.
// Writes nothing until the library's user sets fileName.
#ifndef INIT_LOCAL_TRACE_H
#define INIT_LOCAL_TRACE_H

class InitTraceFile;

class InitLocalTrace {
public:
    struct LevelName {
        const char* name;
        int level;
    };
    // {"RUN#", 0}, {"DBG#", 1}, {"DVT#", 2}, then {"", -1} ending searches.
    static const LevelName levelConvTbl[4];
    static constexpr int MAX_LINE_INDEX = 1000;  // after line 1001 the file starts over

    static InitLocalTrace* getInstance();

    void put(int level, const char* line);
    void exportInitLog(InitTraceFile& traceFile);

    int lineCount = 0;             // lines since the file was last truncated
    bool exported = false;         // replayed to the trace service once
    const char* fileName = nullptr;  // not owned; null switches the local trace off

private:
    InitLocalTrace() = default;
    static InitLocalTrace* instance;
};

#endif
