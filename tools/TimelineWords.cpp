#include "TimelineWords.h"

#include "RecordDecoder.h"
#include "StoredRecords.h"

namespace {

using namespace recordcode;

constexpr uint8_t NOT_SIGNALLED = 0xFF;  // fourth and fifth code bytes: the IPMI daemon's start wait failed

std::string number(uint8_t value)
{
    return std::to_string(value);
}

RecordWords watchdogRegister(const uint8_t* code)
{
    const char* step = code[1] == 1 ? "register read" : code[1] == 2 ? "register write" : "open of /dev/cpld";
    return {"watchdog timer: " + std::string(step) + " failed, errno " + number(code[5]),
            "the start-up could not control the watchdog timer; the board may be reset by it. If it recurs, "
            "check the CPLD and its driver"};
}

RecordWords firmwareBookkeeping(const uint8_t* code)
{
    if ((code[1] & NOR_MISMATCH) == NOR_MISMATCH)
        return {"firmware update: the active NOR differs from the package's boot program",
                "the boot program running is not the one the update brought; update again"};
    if ((code[1] & ROLLED_BACK) != 0)
        return {"firmware update rolled back",
                "the new firmware did not come up before it was committed, so the board went back to the firmware "
                "it ran before. Find why in the events before (a daemon death, a reboot), then update again"};
    if ((code[1] & COPY_FAILED) != 0) {
        static const char* const COPIES[] = {"the standby NAND could not be prepared", "the standby NAND copy failed",
                                             "the standby NOR could not be erased", "the standby NOR copy failed"};
        std::string copy = code[2] < 4 ? COPIES[code[2]] : "a standby copy failed";
        return {"firmware update: " + copy,
                "the update is committed, but the standby flash does not hold its copy: the board cannot fall back "
                "to it. Copy it again (the next update does)"};
    }
    return {"firmware update bookkeeping", "an update record of no known meaning"};
}

RecordWords processSupervision(const uint8_t* code)
{
    std::string process = "daemon of process key " + number(code[1]);
    if (code[2] == REBOOT_PATH)
        return {process + " died (" + statusOf(static_cast<uint32_t>(code[3] << 8 | code[4])) +
                    ") and is not restarted: the board reboots",
                "the daemon died too young or too often, or its table forbids a restart; its down-info file at the "
                "same time tells which and how. Look for the cause in its backtrace and core"};
    if (code[2] == START_FAILED && code[3] == NOT_SIGNALLED && code[4] == NOT_SIGNALLED)
        return {"mmbipmid (process key " + number(code[1]) + ") did not signal its start" +
                    (code[5] != 0 ? " in time" : ""),
                "the start-up gave up waiting for the IPMI daemon and reboots the board; check that daemon"};
    if (code[2] == START_FAILED)
        return {process + " could not be started: the board reboots",
                "its program is missing or cannot run, or no process could be made; check the program named in "
                "etc/mmb/init/pro_file.ctl"};
    if (code[1] == 0 && code[2] == 0)
        return {"the dual-board process is gone: the board reboots",
                "dualprocess, which pairs the boards, died; its trace is kept in mnt/dump/dualdown_reboot.log"};
    return {"process supervision", "a supervision record of no known meaning"};
}

RecordWords processLimits(const uint8_t* code)
{
    if (code[1] == 0)
        return {"no daemon to supervise: the board reboots", "the process tables in etc/mmb/init/ list no daemon"};
    return {"the process table was rejected", "a line of a process table in etc/mmb/init/ is wrong; correct it"};
}

} // namespace

RecordWords recordWords(const InitErrorLog& record)
{
    const uint8_t* code = record.code;
    switch (code[0]) {
    case WATCHDOG_REGISTER:
        return watchdogRegister(code);
    case FIRMWARE_BOOKKEEPING:
        return firmwareBookkeeping(code);
    case BANK_SELECTION:
        return {"boot ROM bank " + number(code[1]) + " could not be selected",
                "the board boots the bank it used before; check the boot ROM"};
    case BOTH_EXCHANGED:
        return {"firmware and boot program both exchanged", "the update replaced both; nothing to do"};
    case PROCESS_SUPERVISION:
        return processSupervision(code);
    case FILE_EXCHANGE:
        return {"fetching the setup from the other board failed",
                "the other board did not answer though it was not in error; check the link between the boards"};
    case WATCHDOG_START:
        return {"started after a watchdog reset, boot ROM bank " + number(code[1]),
                "the board hung and its watchdog reset it; the events before tell what it was doing"};
    case PROCESS_LIMITS:
        return processLimits(code);
    case NETWORK_SERVICE:
        return {"network service " + number(code[1]) + (code[2] == 1 ? " start" : " stop") + " script failed",
                "the board goes on without it; check the service's script"};
    case FILE_MODE:
        return {"a file was opened with an invalid mode", "a fault of the start-up program; report it"};
    default:
        break;
    }
    return {reporterOf(code[0]), "a record of no known reporter"};
}
