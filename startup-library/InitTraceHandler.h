#ifndef INIT_TRACE_HANDLER_H
#define INIT_TRACE_HANDLER_H

/// The trace facility: formats a message through the board's catalogue and
/// offers the line to the local trace file and the board trace service.
/// Safe to call from a signal handler: stack buffers only, no locks; SIGINT
/// and SIGHUP, whose library handlers trace, are held while a line goes to
/// the sinks, so one trace never interrupts another.
class InitTraceHandler {
public:
    static constexpr int TEXT_SIZE = 240;  ///< formatted text of outputf
    static constexpr int LINE_SIZE = 256;  ///< finished line from the catalogue
    static constexpr int SERVICE_ID_MIN = 257;  ///< ids from here on reach the service

    /// The single object, created on the first call. Set traceId on it.
    static InitTraceHandler* getInstance();

    InitTraceHandler(const InitTraceHandler&) = delete;
    InitTraceHandler& operator=(const InitTraceHandler&) = delete;
    virtual ~InitTraceHandler() = default;  // GCOVR_EXCL_LINE: the single instance is never destroyed

    /// Texts longer than TEXT_SIZE - 1 characters are cut.
    void outputf(int messageNo, int level, const char* format, ...) __attribute__((format(printf, 4, 5)));
    /// Traces text as message messageNo at level (0 RUN#, 1 DBG#, 2 DVT#).
    void output(int messageNo, int level, const char* text);
    /// Traces two texts as message messageNo at level.
    void output(int messageNo, int level, const char* text1, const char* text2);
    /// Traces a text and an error number as message messageNo at level.
    void output(int messageNo, int level, const char* text, int value);
    /// Hands a finished line to both sinks: the local trace file and, once
    /// traceId is set above 256, the board trace service.
    void outputTrace(const char* line, int level);

    int traceId = 0;  ///< set by the library's user; above 256 switches the service on

private:
    InitTraceHandler() = default;
    static InitTraceHandler* instance;
};

#endif
