#ifndef INIT_LOCAL_TRACE_H
#define INIT_LOCAL_TRACE_H

class InitTraceFile;

/// First trace sink: appends every trace line to a local trace file of at
/// most 1001 lines and, once the trace service runs, replays it there.
/// Writes nothing until the library's user sets fileName.
class InitLocalTrace {
public:
    /// A trace level and the name that starts its lines.
    struct LevelName {
        const char* name;  ///< "RUN#", "DBG#" or "DVT#"
        int level;         ///< 0, 1 or 2
    };
    /// {"RUN#", 0}, {"DBG#", 1}, {"DVT#", 2}, then {"", -1} ending searches.
    static const LevelName levelConvTbl[4];
    static constexpr int MAX_LINE_INDEX = 1000;  ///< after line 1001 the file starts over

    /// The single object, created on the first call; set fileName on it.
    static InitLocalTrace* getInstance();

    /// Appends one line at level to the local trace file; does nothing while
    /// fileName is null.
    void put(int level, const char* line);
    /// Sends the local trace file's lines to the trace service, once.
    void exportInitLog(InitTraceFile& traceFile);

    int lineCount = 0;             ///< lines since the file was last truncated
    bool exported = false;         ///< replayed to the trace service once
    const char* fileName = nullptr;  ///< not owned; null switches the local trace off

private:
    InitLocalTrace() = default;
    static InitLocalTrace* instance;
};

#endif
