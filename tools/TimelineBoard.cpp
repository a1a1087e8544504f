#include "TimelineBoard.h"

#include "BoardFileName.h"
#include "DecodedRecord.h"
#include "NvramLayout.h"
#include "RecordDecoder.h"
#include "TimelineLine.h"
#include "TimelineWords.h"

#include <algorithm>
#include <cstring>

namespace {

using Kind = TimelineEvent::Kind;
using Role = TimelineEvent::Role;

constexpr uint8_t UNIT_MMB0 = 0xF0;
constexpr uint8_t UNIT_MMB1 = 0xF1;

template <std::size_t SIZE>
std::string revisionText(const char (&field)[SIZE])
{
    return escapedText(std::string(field, strnlen(field, SIZE)));
}

// "HCP 0 "V01L02""
template <std::size_t SIZE>
std::string hcpText(uint8_t hcp, const char (&revision)[SIZE])
{
    return "HCP " + std::to_string(hcp) + " \"" + revisionText(revision) + "\"";
}

TimelineEvent event(uint32_t seconds, Kind kind, std::string text, std::string meaning)
{
    TimelineEvent made;
    made.seconds = seconds;
    made.kind = kind;
    made.text = std::move(text);
    made.meaning = std::move(meaning);
    return made;
}

Role roleOfRecord(const InitMMBHistory::Record& record)
{
    return record.role == 0 ? Role::Active : Role::Standby;
}

std::string bootText(const InitMMBHistory::Record& record)
{
    std::string text =
        "boot " + bootCauseOf(record.bootCause) + ", " + hcpText(record.currentHcpNo, record.currentHcpRev);
    if (record.nextHcpNo != record.currentHcpNo ||
        strncmp(record.nextHcpRev, record.currentHcpRev, InitMMBHistory::REV_SIZE) != 0)
        text += ", next " + hcpText(record.nextHcpNo, record.nextHcpRev);
    text += ", boot ROM bank " + std::to_string(record.currentBootRom);
    if (record.nextBootRom != record.currentBootRom)
        text += ", next bank " + std::to_string(record.nextBootRom);
    if (record.firmUpMode != nvram::FIRMUP_NONE)
        text += ", update mode " + firmUpModeOf(record.firmUpMode);
    return text + ", " + roleOf(record.role) + " (" + historyReasonOf(record.reason) + ")";
}

std::string bootMeaning(const InitMMBHistory::Record& record)
{
    if (record.bootCause == InitMMBFirm::AC_ON)
        return "the board was powered on: switched on, or its power was cut; no reboot was asked for";
    return "the board restarted: the reboot asked for or the down log before it tells why; with neither, it was "
           "rebooted from outside (a command, the watchdog)";
}

std::string roleMeaning(uint8_t reason)
{
    if (reason == InitMMBHistory::ORDERED)
        return "the dual-board process ordered the change: a failover (one board took over from the other) or a "
               "switch-over asked for";
    return "the role this start settled on with the other board";
}

std::string deathText(const DownInfoDeath& death, bool backtraceKept)
{
    return "daemon " + escapedText(death.death.module) + " died: pid " + std::to_string(death.death.pid) + ", " +
           statusOf(death.death.status) + (backtraceKept ? ", backtrace kept" : "");
}

std::string recordText(const std::string& words, const InitErrorLog& record)
{
    return words + " [code " + codeText(record) + "]";
}

} // namespace

void TimelineBoard::add(const BoardItem& item)
{
    if (item.outcome != BoardItem::Outcome::Decoded)
        return;
    const uint8_t* data = item.bytes.data();
    switch (item.form) {
    case RecordForm::History:
        history_ = InitMMBHistory::read(data, item.bytes.size()).records;
        break;
    case RecordForm::DownInfo: {
        DownInfoDeath death;
        if (deathOf(item, death))
            deaths_.push_back(death);
        break;
    }
    case RecordForm::Backtrace: {
        uint32_t seconds = 0;
        if (secondsOfFileName(item.name, seconds))
            backtraces_.insert({moduleOfBacktrace(item.name), seconds});
        break;
    }
    case RecordForm::ErrorLog:
        records_.push_back(errorLogOf(data));
        break;
    case RecordForm::Partition:
        partition_ = item.bytes;
        break;
    case RecordForm::StartupRecord:
        startupRecord_.emplace();
        startupRecord_->unpack(data);
        break;
    default:
        break;
    }
}

int TimelineBoard::board() const
{
    if (!history_.empty())
        return history_.back().mmbId;
    for (const InitErrorLog& record : recordsAndDownLog())
        if (record.unitCode == UNIT_MMB0 || record.unitCode == UNIT_MMB1)
            return record.unitCode - UNIT_MMB0;
    return -1;
}

std::vector<InitErrorLog> TimelineBoard::recordsAndDownLog() const
{
    std::vector<InitErrorLog> records = records_;
    if (std::optional<InitErrorLog> downLog = downLogOf(partition_))
        records.push_back(*downLog);
    return records;
}

std::vector<TimelineEvent> TimelineBoard::events() const
{
    std::vector<TimelineEvent> events;
    addHistory(events);
    addDeaths(events);
    addRecords(events);
    addDownLog(events);
    addStartupRecord(events);
    int number = board();
    for (TimelineEvent& made : events)
        made.board = number;
    return events;
}

void TimelineBoard::addHistory(std::vector<TimelineEvent>& events) const
{
    for (const InitMMBHistory::Record& record : history_) {
        TimelineEvent made =
            record.kind == InitMMBHistory::START
                ? event(record.seconds, Kind::Boot, bootText(record), bootMeaning(record))
                : event(record.seconds, Kind::RoleChange,
                        "role " + roleOf(record.role) + " (" + historyReasonOf(record.reason) + ")",
                        roleMeaning(record.reason));
        made.role = roleOfRecord(record);
        events.push_back(made);
    }
}

void TimelineBoard::addDeaths(std::vector<TimelineEvent>& events) const
{
    for (const DownInfoDeath& death : deaths_) {
        bool backtraceKept = backtraces_.count({death.death.module, death.seconds}) != 0;
        events.push_back(event(death.seconds, Kind::DaemonDeath, deathText(death, backtraceKept),
                               "a supervised daemon ended; var/mmb/core/core_save/init_downinfo." +
                                   std::to_string(death.seconds) +
                                   " holds the board's load, open files and memory at that moment"));
        if (!rebootFollows(death.seconds))
            events.push_back(event(death.seconds, Kind::DaemonRestart,
                                   "daemon " + escapedText(death.death.module) + " restarted",
                                   "the board keeps no record of a restart: told by no reboot recorded within " +
                                       std::to_string(REBOOT_AFTER_DEATH_SECONDS) + " seconds of the death"));
    }
}

bool TimelineBoard::rebootFollows(uint32_t seconds) const
{
    std::vector<InitErrorLog> told = recordsAndDownLog();
    return std::any_of(told.begin(), told.end(), [seconds](const InitErrorLog& record) {
        return isDeathReboot(record) && secondsOf(record) - seconds <= REBOOT_AFTER_DEATH_SECONDS;
    });
}

void TimelineBoard::addRecords(std::vector<TimelineEvent>& events) const
{
    for (const InitErrorLog& record : records_) {
        RecordWords words = recordWords(record);
        if (isRollBack(record))
            words.text += rollBackText(secondsOf(record));
        bool reboot = isDeathReboot(record);
        events.push_back(event(secondsOf(record), reboot ? Kind::RebootAsked : Kind::ErrorRecord,
                               recordText((reboot ? "reboot asked: " : "error log: ") + words.text, record),
                               words.meaning));
    }
}

// The firmware that runs on: the boot's the record was made in, else the
// one NVRAM names.
std::string TimelineBoard::rollBackText(uint32_t seconds) const
{
    if (const InitMMBHistory::Record* boot = bootAt(seconds))
        return ": " + hcpText(boot->currentHcpNo, boot->currentHcpRev) + " runs on";
    if (partition_.size() < PARTITION_MIN_SIZE)
        return "";
    InitMMBFirm::FirmwareHeader header;
    memcpy(&header, partition_.data() + nvram::HEADER_OFFSET, sizeof header);
    return ": " + hcpText(header.currentHcpNo, header.currentHcpRev) + " runs on";
}

// The newest start at or before seconds.
const InitMMBHistory::Record* TimelineBoard::bootAt(uint32_t seconds) const
{
    const InitMMBHistory::Record* found = nullptr;
    for (const InitMMBHistory::Record& record : history_)
        if (record.kind == InitMMBHistory::START && record.seconds <= seconds)
            found = &record;
    return found;
}

void TimelineBoard::addDownLog(std::vector<TimelineEvent>& events) const
{
    std::optional<InitErrorLog> downLog = downLogOf(partition_);
    if (!downLog)
        return;
    RecordWords words = recordWords(*downLog);
    events.push_back(event(secondsOf(*downLog), Kind::DownLog, recordText("NVRAM down log: " + words.text, *downLog),
                           "the record the board put into NVRAM partition 0 as it went down: " + words.meaning));
}

// The record holds no time: it belongs to the newest start (the board
// empties tmp/ at each start), else it follows the board's other events.
void TimelineBoard::addStartupRecord(std::vector<TimelineEvent>& events) const
{
    if (!startupRecord_)
        return;
    const struct InitMMBFirm::initError& record = *startupRecord_;
    uint32_t seconds = 0;
    if (const InitMMBHistory::Record* boot = bootAt(UINT32_MAX))
        seconds = boot->seconds;
    else
        for (const TimelineEvent& made : events)
            seconds = std::max(seconds, made.seconds);
    std::string text = "start-up record: update mode at start " + firmUpModeOf(record.firmUpModeAtStart);
    if (record.firmUpModeAtStart != nvram::FIRMUP_NONE)
        text += ", before the update " + hcpText(record.prevCurrentHcpNo, record.prevCurrentHcpRev) + " next " +
                hcpText(record.prevNextHcpNo, record.prevNextHcpRev);
    text += record.downLogFlag == 1
                ? ", found the down log of " + timelineTime(secondsOf(errorLogOf(record.downLog)))
                : ", found no down log";
    events.push_back(event(seconds, Kind::StartupRecord, text,
                           "what the start found, written for the other board to fetch (tmp/initlog); it holds no "
                           "time: shown at the newest start of its board"));
}
