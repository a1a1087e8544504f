// InitMMBOther, continued: the messages to dualprocess and the files
// exchanged with the other board.
#include "InitMMBOther.h"

#include "ByteOrder.h"
#include "InitErrorLog.h"
#include "InitMMBFile.h"
#include "InitTraceHandler.h"
#include "ShellCommand.h"

#include "MMBLib.h"
#include "libdual.h"

#include <memory>
#include <unistd.h>

namespace {

constexpr unsigned long MSG_READY = 0x80020021;
constexpr unsigned long MSG_CHANGE_START = 0x80020031;
constexpr unsigned long MSG_CHANGE_COMPLETE = 0x80020041;
constexpr int IPC_SERVICE = 2;
constexpr int IPC_MODE = 1;

constexpr int COPY_SYNCHRONOUS = 0x4000;
constexpr int COPY_ASYNCHRONOUS = 0x4001;
constexpr int COPY_PLAIN = 0;
constexpr int SYNC_RETRY_SECONDS = 5;
constexpr int ASYNC_POLLS = 5;  // one-second polls per asynchronous request
constexpr unsigned long OTHER_IN_ERROR = 0x00010000;
constexpr unsigned long ACTIVE = 0x40000000;

constexpr const char* FETCH_FAILED = "/var/mmb/fmem/GET_OTHER_MMB_FAIL";
constexpr const char* PANEL_FETCH_FAILED = "/var/mmb/fmem/GET_OTHER_PANEL_MMB_FAIL";
constexpr const char* OTHER_FAILED = "/tmp/OtherMMBFail";
constexpr const char* ERROR_RECORD_FILE = "/tmp/initlog";
constexpr uint8_t FILE_EXCHANGE = 0x0E;

constexpr int MODE_READ = 0;
constexpr int MODE_CREATE = 1;

InitTraceHandler* trace()
{
    return InitTraceHandler::getInstance();
}

// The fetch succeeded: an earlier failure is no longer current.
int fetched()
{
    execCommandNoDown("rm -f %s", FETCH_FAILED);
    return 0;
}

bool fileExists(const char* path)
{
    return access(path, F_OK) == 0;
}

} // namespace

void InitMMBOther::sendReady()
{
    trace()->outputf(20001, 1, "send ready to dualprocess (%d)", dupProcPID);
    execIPCSend(MSG_READY);
}

void InitMMBOther::sendActiveEnd()
{
    trace()->outputf(20001, 1, "send response of change-start to dualprocess (%d)", dupProcPID);
    execIPCSend(MSG_CHANGE_START);
}

void InitMMBOther::sendChangeCompResp()
{
    trace()->outputf(20001, 1, "send response of change-complete to dualprocess (%d)", dupProcPID);
    execIPCSend(MSG_CHANGE_COMPLETE);
    chgState = CHG_IDLE;
}

void InitMMBOther::execIPCSend(unsigned long code)
{
    std::unique_ptr<MMBLib::MMBIpc::IPCConnection> connection;
    try {
        // The board's own trace format; the 0 flag beside the precision changes nothing.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
        trace()->outputf(20001, 1, "send packet(code=%08.8x) on IPC", static_cast<unsigned>(code));
#pragma GCC diagnostic pop
        connection.reset(MMBLib::MMBIpc::IPCClient::getNewConnection(IPC_SERVICE, IPC_MODE));
    } catch (...) {
        return;
    }
    uint8_t data[4];
    putBig32(data, static_cast<uint32_t>(code));
    try {
        connection->sendRequest(static_cast<long>(code), data, sizeof data);
    } catch (...) {
        trace()->outputf(20001, 1, "notify change exeption occured(%x) to dualprocess",
                         static_cast<unsigned>(code));
    }
}

int InitMMBOther::receiveFile(const char* path, int timeout, bool sync)
{
    trace()->outputf(20001, 0, "Geting Other MMB File(%s)", path);
    char request[InitMMBFile::PATH_SIZE];
    snprintf(request, sizeof request, "%s", path);
    if (sync) {
        for (int attempt = 0; attempt < timeout / SYNC_RETRY_SECONDS; ++attempt) {
            if (dual_request_copyFile(request, COPY_SYNCHRONOUS) == 0)
                return fetched();
            sleep(SYNC_RETRY_SECONDS);
        }
    } else {
        execCommandNoDown("%s -f %s", "/bin/rm", path);
        for (int left = (timeout + ASYNC_POLLS - 1) / ASYNC_POLLS; left > 0; --left) {
            trace()->outputf(20001, 1, "asyn-request_copyFile(try=%d)", left);
            dual_request_copyFile(request, COPY_ASYNCHRONOUS);
            for (int poll = 0; poll < ASYNC_POLLS; ++poll) {
                sleep(1);
                if (fileExists(path)) {
                    sleep(1);
                    return fetched();
                }
            }
        }
    }

    unsigned long own = ACTIVE;
    unsigned long other = 0;
    int rc = dual_get_status(&own, &other);
    if ((other & OTHER_IN_ERROR) != 0) {
        trace()->outputf(20003, 0, "Cann't get Setup Information from Error MMB(%8.8x)",
                         static_cast<unsigned>(other));
        if (fileExists(FETCH_FAILED) || fileExists(PANEL_FETCH_FAILED)) {
            execCommandNoDown("rm -f %s", FETCH_FAILED);
            execCommandNoDown("rm -f %s", PANEL_FETCH_FAILED);
            execClaimedCommand(OTHER_FAILED, "touch %s", OTHER_FAILED);
        }
        return -1;
    }
    trace()->outputf(20003, 0, "Geting Setup Information from Active MMB(%d)", rc);
    execCommandNoDown("touch %s", FETCH_FAILED);
    throw new InitErrorLog(1, InitMMBFirm::getInstance()->mmbId, FILE_EXCHANGE, 0, 0, 0, 0, 0);
}

void InitMMBOther::sendFile(const char* path)
{
    char target[InitMMBFile::PATH_SIZE];
    snprintf(target, sizeof target, "%s", path);
    if (dual_copyFile(target, COPY_SYNCHRONOUS) == -1)
        trace()->output(20003, 0, "Synchronaizing setup inforamtion to Standby MMB");
}

struct InitMMBFirm::initError* InitMMBOther::getErrorLog()
{
    auto* record = new struct InitMMBFirm::initError();
    char request[] = "/tmp/initlog";
    if (dual_request_copyFile(request, COPY_PLAIN) < 0)
        return record;
    InitMMBFile file;
    InitMMBFile::makePath(ERROR_RECORD_FILE, file.path);
    file.open(MODE_READ);
    if (file.fp == nullptr)
        return record;
    uint8_t packed[InitMMBFirm::initError::SIZE] = {};
    fread(packed, 1, sizeof packed, file.fp);  // a shorter file leaves the rest zero
    record->unpack(packed);
    return record;
}

void InitMMBOther::putErrorLog(struct InitMMBFirm::initError& record)
{
    InitMMBFile file;
    InitMMBFile::makePath(ERROR_RECORD_FILE, file.path);
    file.open(MODE_CREATE);
    if (file.fp == nullptr)
        return;
    uint8_t packed[InitMMBFirm::initError::SIZE];
    record.pack(packed);
    fwrite(packed, sizeof packed, 1, file.fp);
}

void InitMMBOther::close() {}

void InitMMBOther::sendStatus() {}

void InitMMBOther::startFUP() {}
