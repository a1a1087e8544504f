// Runs peer-board operations of the start-up library, in the order given,
// in one process on a simulated board, printing what each returns or
// throws. Traces go to /tmp/trace.log on the board.
//   other-steps sendReady receiveFile=/tmp/x,12,sync checkdualprocess
//   other-steps putErrorLog getErrorLog
//   other-steps initialize checkdualprocess
//   other-steps await=/tmp/x await-gone=/tmp/y   (block until the path exists, or is gone)
#include "InitErrorLog.h"
#include "InitLocalTrace.h"
#include "InitMMBOther.h"
#include "InitTraceHandler.h"
#include "ShellCommand.h"
#include "StepDriver.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

// A start-up record whose bytes say where they came from.
void fillRecord(struct InitMMBFirm::initError& record)
{
    record.flag = 0xA5;
    record.downLogFlag = 1;
    record.logCount = 3;
    for (int i = 0; i < 256; ++i)
        record.logEntries[i] = static_cast<uint8_t>(i);
    InitMMBFirm::setRevision(record.prevNextHcpRev, "PEER");
}

void printPacked(const struct InitMMBFirm::initError& record)
{
    uint8_t packed[InitMMBFirm::initError::SIZE];
    record.pack(packed);
    std::printf("record ");
    for (uint8_t byte : packed)
        std::printf("%02x", byte);
    std::printf("\n");
}

// Blocks until path exists (or is gone): the folder's changes wake the
// check, so no core spins meanwhile.
bool awaitPath(const std::string& path, bool present)
{
    int fd = inotify_init1(IN_CLOEXEC);
    if (fd < 0 || inotify_add_watch(fd, path.substr(0, path.rfind('/')).c_str(),
                                    IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM) < 0)
        return false;
    char events[4096];
    bool ok = true;
    while (ok && (access(path.c_str(), F_OK) == 0) != present)
        ok = read(fd, events, sizeof events) > 0;
    close(fd);
    return ok;
}

bool runStep(InitMMBOther& other, const std::string& step)
{
    std::string name = step.substr(0, step.find('='));
    std::string argument = step.find('=') != std::string::npos ? step.substr(step.find('=') + 1) : "";
    if (name == "initialize") {  // the board's number, for the records
        InitMMBFirm::getInstance()->initialize();
    } else if (name == "sendReady") {
        other.sendReady();
    } else if (name == "sendActiveEnd") {
        other.sendActiveEnd();
    } else if (name == "sendChangeCompResp") {
        other.sendChangeCompResp();
    } else if (name == "checkdualprocess") {
        std::printf("checkdualprocess=%d\n", other.checkdualprocess());
    } else if (name == "receiveFile") {
        char path[256];
        int timeout = 0;
        char mode[8] = {};
        if (std::sscanf(argument.c_str(), "%255[^,],%d,%7s", path, &timeout, mode) != 3)
            return false;
        std::printf("receiveFile=%d\n", other.receiveFile(path, timeout, std::strcmp(mode, "sync") == 0));
    } else if (name == "sendFile") {
        other.sendFile(argument.c_str());
    } else if (name == "putErrorLog") {
        struct InitMMBFirm::initError record = {};
        fillRecord(record);
        other.putErrorLog(record);
    } else if (name == "getErrorLog") {
        std::unique_ptr<struct InitMMBFirm::initError> record(other.getErrorLog());
        printPacked(*record);
    } else if (name == "traceId") {  // traces go to the trace service too
        InitTraceHandler::getInstance()->traceId = std::atoi(argument.c_str());
    } else if (name == "await" || name == "await-gone") {
        return awaitPath(argument, name == "await");
    } else if (name == "command") {  // a command of that many characters, too long to run
        execCommandNoDown("%s", std::string(std::strtoul(argument.c_str(), nullptr, 10), ':').c_str());
    } else {
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    InitLocalTrace::getInstance()->fileName = "/tmp/trace.log";
    InitMMBOther& other = *InitMMBOther::getInstance();
    return runSteps("other-steps", argc, argv, [&other](const std::string& step) { return runStep(other, step); });
}
