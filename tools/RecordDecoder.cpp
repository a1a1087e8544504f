#include "RecordDecoder.h"

#include "BoardFileName.h"
#include "InitErrorLog.h"
#include "InitMMBFirm.h"
#include "InitMMBHistory.h"
#include "NvramLayout.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <ctime>
#include <string>

namespace {

using StartupRecord = struct InitMMBFirm::initError;

constexpr int MICROS_PER_SECOND = 1000000;
constexpr uint8_t UPDATING = 1;  // partition status of an HCP being updated
constexpr std::size_t REVISION_LINE_MAX = InitMMBFirm::REVISION_LINE_SIZE - 1;

struct Reporter {
    uint8_t firstCode;
    const char* name;
};

// The component that made an error log record, named by its first code byte.
constexpr Reporter REPORTERS[] = {
    {2, "watchdog timer register access"},
    {3, "firmware-update bookkeeping"},
    {4, "boot ROM bank selection failure"},
    {7, "firmware and boot program both exchanged"},
    {9, "process supervision and the peer process check"},
    {0x0E, "file exchange with the peer board"},
    {0x19, "board started with the watchdog error flag set"},
    {0x1C, "process table and process manager limits"},
    {0x29, "network service script start or stop"},
    {0x39, "invalid file open mode"},
};

template <typename Number>
bool parseWhole(const std::string& digits, int base, Number& value)
{
    const char* end = digits.data() + digits.size();
    auto [stop, error] = std::from_chars(digits.data(), end, value, base);
    return !digits.empty() && error == std::errc() && stop == end;
}


} // namespace

std::string reporterOf(uint8_t firstCode)
{
    for (const Reporter& reporter : REPORTERS)
        if (reporter.firstCode == firstCode)
            return reporter.name;
    return "unknown";
}

std::string unitOf(uint8_t unitCode)
{
    switch (unitCode) {
    case 0xF0:
        return "MMB 0";
    case 0xF1:
        return "MMB 1";
    case 0xC2:
        return "firmware update";
    default:
        return "unknown";
    }
}

std::string identificationOf(const uint8_t* block)
{
    bool byteMatches = block[0] == nvram::ID_BYTE;
    bool nameMatches = memcmp(block + nvram::ID_NAME_OFFSET, nvram::ID_NAME, sizeof nvram::ID_NAME) == 0;
    if (byteMatches && nameMatches)
        return "valid";
    return byteMatches || nameMatches ? "damaged" : "missing";
}

std::string identificationText(const uint8_t* block)
{
    std::string state = identificationOf(block);
    if (state == "damaged")
        state += block[0] == nvram::ID_BYTE ? ", only the 'M' byte matches" : ", only the name matches";
    return state == "valid" ? state : state + ": the next start or nvram run re-initialises the partition";
}

bool parseDeath(const std::string& line, Death& death)
{
    const std::string start = "process(";
    const std::string middle = ") down with status(";
    if (line.size() <= start.size() + middle.size() || line.compare(0, start.size(), start) != 0 ||
        line.back() != ')')
        return false;
    std::size_t middleAt = line.rfind(middle);
    if (middleAt == std::string::npos || middleAt < start.size())
        return false;
    std::string process = line.substr(start.size(), middleAt - start.size());
    std::string status = line.substr(middleAt + middle.size());
    status.pop_back();  // its ')'
    std::size_t colon = process.rfind(':');
    if (colon == std::string::npos)
        return false;
    death.module = process.substr(0, colon);
    return parseWhole(process.substr(colon + 1), 10, death.pid) && parseWhole(status, 16, death.status);
}

std::string statusOf(uint32_t status)
{
    uint32_t signal = status & 0x7F;
    if (signal == 0)
        return "exit code " + std::to_string(status >> 8 & 0xFF);
    return "signal " + std::to_string(signal) + ((status & 0x80) != 0 ? ", core dumped" : "");
}

std::string historyReasonOf(uint8_t reason)
{
    switch (reason) {
    case InitMMBHistory::PROVISIONAL:
        return "provisional";
    case InitMMBHistory::FINAL:
        return "final";
    case InitMMBHistory::ORDERED:
        return "ordered change";
    default:
        return "unknown";
    }
}

std::string roleOf(uint8_t role)
{
    return role == 0 ? "Active" : "Standby";
}

std::string bootCauseOf(uint8_t cause)
{
    return cause == InitMMBFirm::AC_ON ? "AC-ON" : cause == InitMMBFirm::REBOOT ? "REBOOT" : "unknown";
}

std::string firmUpModeOf(uint8_t mode)
{
    switch (mode) {
    case nvram::FIRMUP_NONE:
        return "none";
    case nvram::FIRMUP_APPLY:
        return "'F', firmware apply requested";
    case nvram::FIRMUP_RECOVERY:
        return "'R', recovery";
    default:
        return "unknown";
    }
}

namespace {

std::string logCountOf(int32_t count)
{
    return count >= 0 && count <= nvram::MAX_LOG_COUNT ? "" : "out of range 0.." + std::to_string(nvram::MAX_LOG_COUNT);
}

// "YYYY-MM-DD" and "HH:MM:SS" of a stored time, read unsigned: a record
// past 2038-01-19 03:14:07 is not from 1901.
std::pair<std::string, std::string> utcOf(uint32_t stored)
{
    std::time_t seconds = stored;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char date[16];
    char clock[16];
    strftime(date, sizeof date, "%Y-%m-%d", &utc);
    strftime(clock, sizeof clock, "%H:%M:%S", &utc);
    return {date, clock};
}

void addTime(DecodedRecord& decoded, const InitErrorLog::Time& time)
{
    if (time.microseconds < 0 || time.microseconds >= MICROS_PER_SECOND) {
        decoded.addField("time", "none: microseconds out of range", "null", "none: microseconds out of range");
        return;
    }
    auto [date, clock] = utcOf(static_cast<uint32_t>(time.seconds));
    char millis[16];
    snprintf(millis, sizeof millis, ".%03d", static_cast<int>(time.microseconds / 1000));
    decoded.addField("time", date + " " + clock + millis + " UTC", jsonString(date + "T" + clock + millis + "Z"));
}

// A time to the second, and its stored seconds.
void addSecondsTime(DecodedRecord& decoded, uint32_t seconds)
{
    auto [date, clock] = utcOf(seconds);
    decoded.addField("time", utcText(seconds), jsonString(date + "T" + clock + "Z"));
    decoded.addNumber("seconds", seconds);
}

// The time a file's name carries, to the second.
void addNameTime(DecodedRecord& decoded, const std::string& fileName)
{
    uint32_t seconds = 0;
    if (!secondsOfFileName(fileName, seconds)) {
        const char* none = "none: the file name holds no time";
        decoded.addField("time", none, "null", none);
        return;
    }
    addSecondsTime(decoded, seconds);
}

void addRevision(DecodedRecord& decoded, const char* name, const char (&field)[InitMMBFirm::REV_SIZE])
{
    decoded.addText(name, std::string(field, strnlen(field, sizeof field)));
}

void addPartStatus(DecodedRecord& decoded, const uint8_t (&status)[2])
{
    std::string text;
    for (int hcp = 0; hcp < 2; ++hcp) {
        std::string state = status[hcp] == UPDATING ? "updating" : status[hcp] == 0 ? "normal" : "unknown";
        text += (hcp == 0 ? "" : ", ") + std::string("HCP ") + std::to_string(hcp) + " " + state;
    }
    decoded.addField("partStatus", text, "[" + std::to_string(status[0]) + "," + std::to_string(status[1]) + "]",
                     text);
}

void addHeader(DecodedRecord& decoded, const InitMMBFirm::FirmwareHeader& header)
{
    decoded.addHex("firmUpMode", header.firmUpMode, 2, firmUpModeOf(header.firmUpMode));
    decoded.addNumber("currentHcpNo", header.currentHcpNo);
    decoded.addNumber("nextHcpNo", header.nextHcpNo);
    decoded.addNumber("currentBootRom", header.currentBootRom);
    decoded.addNumber("nextBootRom", header.nextBootRom);
    decoded.addHex("bootRomChange", header.bootRomChange, 2);
    decoded.addNumber("firmChange", header.firmChange);
    addPartStatus(decoded, header.partStatus);
    decoded.addHex("spare", header.spare, 2);
    addRevision(decoded, "currentHcpRev", header.currentHcpRev);
    addRevision(decoded, "nextHcpRev", header.nextHcpRev);
}

void addDownLog(DecodedRecord& decoded, const StartupRecord& record)
{
    decoded.addNumber("downLogFlag", record.downLogFlag, record.downLogFlag == 1 ? "a down log is recorded" : "");
    decoded.addRecord("downLog", decodeErrorLog(record.downLog));
}

void addIdentification(DecodedRecord& decoded, const uint8_t* block)
{
    std::string state = identificationOf(block);
    if (state == "valid") {
        decoded.addField("identification", state, jsonString(state));
        return;
    }
    std::string text = identificationText(block);
    decoded.addField("identification", text, jsonString(state), text);
}

std::size_t nonZeroBytes(const uint8_t* from, const uint8_t* to)
{
    std::size_t count = 0;
    for (; from < to; ++from)
        count += *from != 0;
    return count;
}

std::string historyKindOf(uint8_t kind)
{
    switch (kind) {
    case InitMMBHistory::START:
        return "start";
    case InitMMBHistory::MODE:
        return "mode";
    default:
        return "unknown";
    }
}

std::string revisionOf(const char (&field)[InitMMBHistory::REV_SIZE])
{
    return escapedText(std::string(field, strnlen(field, sizeof field)));
}

// "2026-12-07 02:00:00 UTC start (provisional): MMB 0 Standby, AC-ON, HCP 0
// "V1" next HCP 1 "V2", boot ROM bank 0 next 0, update mode none"
std::string historyLine(const InitMMBHistory::Record& record)
{
    return utcText(record.seconds) + " " + historyKindOf(record.kind) + " (" + historyReasonOf(record.reason) +
           "): MMB " + std::to_string(record.mmbId) + " " + roleOf(record.role) + ", " +
           bootCauseOf(record.bootCause) + ", HCP " + std::to_string(record.currentHcpNo) + " \"" +
           revisionOf(record.currentHcpRev) + "\" next HCP " + std::to_string(record.nextHcpNo) + " \"" +
           revisionOf(record.nextHcpRev) + "\", boot ROM bank " + std::to_string(record.currentBootRom) + " next " +
           std::to_string(record.nextBootRom) + ", update mode " + firmUpModeOf(record.firmUpMode);
}

DecodedRecord historyFields(const InitMMBHistory::Record& record)
{
    DecodedRecord fields;
    addSecondsTime(fields, record.seconds);
    fields.addNumber("sequence", record.sequence);
    fields.addNumber("kind", record.kind, historyKindOf(record.kind));
    fields.addNumber("reason", record.reason, historyReasonOf(record.reason));
    fields.addNumber("role", record.role, roleOf(record.role));
    fields.addNumber("bootCause", record.bootCause, bootCauseOf(record.bootCause));
    fields.addNumber("mmbId", record.mmbId, "MMB " + std::to_string(record.mmbId));
    fields.addHex("firmUpMode", record.firmUpMode, 2, firmUpModeOf(record.firmUpMode));
    fields.addNumber("currentHcpNo", record.currentHcpNo);
    fields.addNumber("nextHcpNo", record.nextHcpNo);
    fields.addNumber("currentBootRom", record.currentBootRom);
    fields.addNumber("nextBootRom", record.nextBootRom);
    addRevision(fields, "currentHcpRev", record.currentHcpRev);
    addRevision(fields, "nextHcpRev", record.nextHcpRev);
    return fields;
}

} // namespace

std::string utcText(uint32_t seconds)
{
    auto [date, clock] = utcOf(seconds);
    return date + " " + clock + " UTC";
}

DecodedRecord decodeRecord(RecordForm form, const std::string& fileName, const uint8_t* data, std::size_t size)
{
    switch (form) {
    case RecordForm::Partition:
        return decodePartition(data, size);
    case RecordForm::Partition1:
    case RecordForm::Partition2:
        return decodeUninterpreted(size);
    case RecordForm::Partition3:
        return decodeNorNvram(data, size);
    case RecordForm::ErrorLog:
        return decodeErrorLog(data);
    case RecordForm::StartupRecord:
        return decodeStartupRecord(data);
    case RecordForm::DownInfo:
        return decodeDownInfo(fileName, data);
    case RecordForm::Backtrace:
        return decodeBacktrace(fileName, data, size);
    case RecordForm::RevisionFile:
        return decodeRevisionFile(data, size);
    case RecordForm::History:
        return decodeHistory(data, size);
    case RecordForm::Marker:
        break;
    }
    return decodeMarker(fileName, data, size);
}

DecodedRecord decodePartition(const uint8_t* data, std::size_t size)
{
    InitMMBFirm::FirmwareHeader header;
    memcpy(&header, data + nvram::HEADER_OFFSET, sizeof header);
    StartupRecord areas = {};
    areas.unpackDownLogArea(data + nvram::DOWN_LOG_OFFSET);
    areas.unpackLogArea(data + nvram::LOG_AREA_OFFSET);

    DecodedRecord decoded;
    decoded.addNumber("size", static_cast<long long>(size));
    addHeader(decoded, header);
    decoded.addNumber("rebootCount", data[nvram::REBOOT_COUNT_OFFSET]);
    decoded.addNumber("suppressMode", data[nvram::SUPPRESS_MODE_OFFSET]);
    addDownLog(decoded, areas);
    decoded.addNumber("logCount", areas.logCount, logCountOf(areas.logCount));
    decoded.addNumber("vlanMode", data[nvram::VLAN_MODE_OFFSET]);
    addIdentification(decoded, data + nvram::ID_OFFSET);
    return decoded;
}

DecodedRecord decodeErrorLog(const uint8_t* data)
{
    InitErrorLog record(0, 0, 0, 0, 0, 0, 0, 0);  // unpack replaces every field, its time stamp too
    record.unpack(data);
    DecodedRecord decoded;
    addTime(decoded, record.time);
    decoded.addNumber("seconds", static_cast<uint32_t>(record.time.seconds));
    decoded.addNumber("microseconds", record.time.microseconds);
    decoded.addNumber("kind", record.kind);
    decoded.addHex("unitCode", record.unitCode, 2, unitOf(record.unitCode));
    decoded.addText("reporter", reporterOf(record.code[0]));
    decoded.addBytes("code", record.code, InitErrorLog::CODE_COUNT);
    return decoded;
}

DecodedRecord decodeStartupRecord(const uint8_t* data)
{
    StartupRecord record = {};
    record.unpack(data);
    DecodedRecord decoded;
    decoded.addHex("flag", record.flag, 2);
    addDownLog(decoded, record);
    decoded.addNumber("logCount", record.logCount, logCountOf(record.logCount));
    decoded.addHex("firmUpModeAtStart", record.firmUpModeAtStart, 2, firmUpModeOf(record.firmUpModeAtStart));
    decoded.addNumber("bootRomChangeResult", record.bootRomChangeResult);
    decoded.addNumber("prevFirmChange", record.prevFirmChange);
    decoded.addNumber("prevCurrentBootRom", record.prevCurrentBootRom);
    decoded.addNumber("prevNextBootRom", record.prevNextBootRom);
    decoded.addNumber("prevCurrentHcpNo", record.prevCurrentHcpNo);
    decoded.addNumber("prevNextHcpNo", record.prevNextHcpNo);
    addRevision(decoded, "prevCurrentHcpRev", record.prevCurrentHcpRev);
    addRevision(decoded, "prevNextHcpRev", record.prevNextHcpRev);
    return decoded;
}

DecodedRecord decodeDownInfo(const std::string& fileName, const uint8_t* data)
{
    const char* chars = reinterpret_cast<const char*>(data);
    std::size_t length = strnlen(chars, DOWN_INFO_SIZE);
    std::string text(chars, length);
    DecodedRecord decoded;
    addNameTime(decoded, fileName);
    Death death;
    if (parseDeath(text.substr(0, text.find('\n')), death)) {
        decoded.addText("module", death.module);
        decoded.addNumber("pid", death.pid);
        decoded.addHex("status", death.status, 4, statusOf(death.status));
    }
    decoded.addText("text", text, true);
    std::size_t stale = length < DOWN_INFO_SIZE ? nonZeroBytes(data + length + 1, data + DOWN_INFO_SIZE) : 0;
    decoded.addNumber("staleBytes", static_cast<long long>(stale),
                      stale == 0 ? "" : "non-zero bytes after the text, left by an earlier death");
    return decoded;
}

DecodedRecord decodeUninterpreted(std::size_t size)
{
    DecodedRecord decoded;
    decoded.addNumber("size", static_cast<long long>(size), "its content is not interpreted");
    return decoded;
}

DecodedRecord decodeNorNvram(const uint8_t* data, std::size_t size)
{
    DecodedRecord decoded;
    decoded.addNumber("size", static_cast<long long>(size));
    decoded.addHex("norWord0", static_cast<unsigned>(data[0] << 8 | data[1]), 4);
    decoded.addHex("norWord1", static_cast<unsigned>(data[2] << 8 | data[3]), 4);
    return decoded;
}

DecodedRecord decodeBacktrace(const std::string& fileName, const uint8_t* data, std::size_t size)
{
    DecodedRecord decoded;
    decoded.addText("module", moduleOfBacktrace(fileName));
    addNameTime(decoded, fileName);
    decoded.addText("text", std::string(reinterpret_cast<const char*>(data), size), true);
    return decoded;
}

bool revisionOfFile(const uint8_t* data, std::size_t size, std::string& revision)
{
    // As the board reads it: the first line, at most 127 characters, ended
    // by a NUL too; the text after its first "=", cut to the 11-byte field.
    std::string line(reinterpret_cast<const char*>(data), std::min(size, REVISION_LINE_MAX));
    line = line.substr(0, line.find_first_of(std::string("\n\0", 2)));
    std::size_t equals = line.find('=');
    if (equals == std::string::npos)
        return false;
    revision = line.substr(equals + 1, InitMMBFirm::REV_SIZE);
    return true;
}

DecodedRecord decodeRevisionFile(const uint8_t* data, std::size_t size)
{
    DecodedRecord decoded;
    std::string revision;
    if (revisionOfFile(data, size, revision)) {
        decoded.addText("revision", revision);
    } else {
        const char* none = "none: the first line holds no '='";
        decoded.addField("revision", none, "null", none);
    }
    return decoded;
}

DecodedRecord decodeMarker(const std::string& fileName, const uint8_t* data, std::size_t size)
{
    DecodedRecord decoded;
    decoded.addText("meaning", markerMeaning(fileName));
    if (fileName == "MMB_REBOOT_HBL_CNT")
        decoded.addNumber("count", size == 0 ? 0 : data[0]);
    return decoded;
}

DecodedRecord decodeHistory(const uint8_t* data, std::size_t size)
{
    InitMMBHistory::Contents contents = InitMMBHistory::read(data, size);
    DecodedRecord decoded;
    decoded.addNumber("size", static_cast<long long>(size));
    decoded.addNumber("records", static_cast<long long>(contents.records.size()),
                      "at most " + std::to_string(InitMMBHistory::CAPACITY) + ", the newest kept");
    decoded.addNumber("skipped", static_cast<long long>(contents.skippedSlots.size()));
    for (const InitMMBHistory::Record& record : contents.records)
        decoded.addField("record" + std::to_string(record.sequence), historyLine(record),
                         jsonObject(historyFields(record).fields()));
    const std::string torn = "torn or damaged: cut short, or its magic or CRC is wrong; not read";
    for (int slot : contents.skippedSlots)
        decoded.addField("slot" + std::to_string(slot), "skipped (" + torn + ")", jsonString("skipped"), torn);
    return decoded;
}
