#ifndef INIT_NET_SERVICE_H
#define INIT_NET_SERVICE_H

class InitTraceHandler;

/// One shell-driven job of the board's start-up: an init script under
/// /etc/init.d that is started, restarted and stopped, or a file under
/// /etc/sysconfig that a command generates. Subclasses decide whether the job
/// runs on this board now (execJudge) or how its command is built.
class InitNetService {
public:
    /// Code bytes of the record thrown when a command fails.
    static constexpr unsigned char SERVICE_ERROR = 0x29;
    static constexpr unsigned char START_FAILED = 1;  ///< code byte of a failed start
    static constexpr unsigned char STOP_FAILED = 2;   ///< code byte of a failed stop

    /// path and name are constant texts, not owned; number goes into error
    /// records; isForeground false runs start commands in the background.
    InitNetService(const char* path, const char* name, unsigned char number, bool isForeground);
    InitNetService(const InitNetService&) = delete;
    InitNetService& operator=(const InitNetService&) = delete;

    /// Start, or restart when started. Throws InitErrorLog* when the command fails.
    virtual void start();
    /// Stop when started. Throws InitErrorLog* when the command fails.
    virtual void stop();
    /// Non-zero when the job is to run on this board now.
    virtual int execJudge() = 0;
    virtual ~InitNetService() = default;

    /// Runs the start command built from format (one "%s", the script path)
    /// when the judge or toggling allows it; otherwise stops a started job.
    void startLine(const char* format);
    /// Runs the stop command built from format, whatever the judge says.
    void stopLine(const char* format);

    const char* scriptPath;           ///< init script, or the file the command writes
    const char* dispName;             ///< traced before each start or stop
    unsigned char serviceNo;          ///< put into the error record
    InitTraceHandler* traceHandler;   ///< the trace singleton
    bool started = false;             ///< last start succeeded, no stop since
    bool toggling = false;            ///< set by the manager's toggleStatus: start ignores the judge
    bool foreground;                  ///< false: start commands run in the background

protected:
    static constexpr int FORMAT_SIZE = 1024;  ///< formats built by the file generators

private:
    /// Traces, runs the command and throws the record naming operation on failure.
    void run(const char* format, unsigned char operation);
};

#endif
