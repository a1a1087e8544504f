// The timeline in-process: known bytes at their board paths, told as events
// in words, dated, merged oldest first; exact lines.
#include "InitMMBFirm.h"
#include "InitMMBHistory.h"
#include "NvramLayout.h"
#include "StoredBytes.h"
#include "Timeline.h"
#include "TimelineLine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

using History = InitMMBHistory;

constexpr uint32_t T = 1593835520;  // 2020-07-04 04:05:20
constexpr uint8_t ACTIVE = 0;
constexpr uint8_t STANDBY = 1;
constexpr uint8_t UNIT_UPDATE = 0xC2;
const Bytes DEATH_REBOOT = {9, 17, 2, 0, 0x8B, 0};  // alpha, key 17, signal 11 with a core: the board reboots
const Bytes ROLLED_BACK = {3, 0x10, 0, 0, 0, 0};

BoardItem fileAt(const std::string& folder, const std::string& name, Bytes bytes)
{
    FormChoice choice;
    choice.inTree = true;
    choice.folder = folder;
    choice.skipUnknown = true;
    BoardItem item = identifyFile(folder + name, name, std::move(bytes), choice);
    EXPECT_EQ(item.outcome, BoardItem::Outcome::Decoded) << folder << name << ": " << item.reason;
    return item;
}

History::Record historyRecord(uint32_t seconds, uint8_t kind, uint8_t reason, uint8_t role, uint8_t mmb,
                              uint8_t cause = InitMMBFirm::AC_ON, uint8_t firmUpMode = 0)
{
    return {0, seconds, kind, reason, role, cause, mmb, firmUpMode, 0, 0, 0, 0, "V01L02", "V01L02"};
}

BoardItem historyFile(std::vector<History::Record> records)
{
    Bytes bytes(records.size() * History::RECORD_SIZE);
    for (std::size_t i = 0; i < records.size(); ++i) {
        records[i].sequence = static_cast<uint32_t>(i);
        records[i].pack(bytes.data() + i * History::RECORD_SIZE);
    }
    return fileAt("var/mmb/log/", "history", bytes);
}

BoardItem errorLog(uint32_t seconds, const Bytes& code, uint8_t unit = 0xF0)
{
    return fileAt("var/mmb/log/init/", std::to_string(seconds) + ".000", errorLogRecord(seconds, 0, code, 1, unit));
}

BoardItem downInfo(uint32_t seconds, const std::string& firstLine)
{
    return fileAt("var/mmb/core/core_save/", "init_downinfo." + std::to_string(seconds),
                  downInfoFile(firstLine + "\n0.10 0.20 0.30 1/50 400\n"));
}

BoardItem backtrace(const std::string& module, uint32_t seconds)
{
    std::string text = "#0 0x10001000 in main ()\n";
    return fileAt("var/mmb/core/core_save/", "bt." + module + "." + std::to_string(seconds),
                  Bytes(text.begin(), text.end()));
}

// The start-up record's areas, holding the down log when given.
struct InitMMBFirm::initError withDownLog(const std::optional<Bytes>& downLog)
{
    struct InitMMBFirm::initError areas = {};
    areas.downLogFlag = downLog.has_value();
    if (downLog)
        memcpy(areas.downLog, downLog->data(), downLog->size());
    return areas;
}

// Partition 0 with a valid identification, the header naming HCP hcp, and
// the down log when given.
BoardItem partition(uint8_t hcp, const char* revision, const std::optional<Bytes>& downLog)
{
    Bytes bytes(4096);
    InitMMBFirm::FirmwareHeader header = {};
    header.currentHcpNo = header.nextHcpNo = hcp;
    memcpy(header.currentHcpRev, revision, strnlen(revision, sizeof header.currentHcpRev));
    memcpy(bytes.data() + nvram::HEADER_OFFSET, &header, sizeof header);
    withDownLog(downLog).packDownLogArea(bytes.data() + nvram::DOWN_LOG_OFFSET);
    bytes[nvram::ID_OFFSET] = nvram::ID_BYTE;
    memcpy(bytes.data() + nvram::ID_OFFSET + nvram::ID_NAME_OFFSET, nvram::ID_NAME, sizeof nvram::ID_NAME);
    return fileAt("dev/", "mram0", bytes);
}

BoardItem startupRecord(const std::optional<Bytes>& downLog)
{
    Bytes bytes(InitMMBFirm::initError::SIZE);
    withDownLog(downLog).pack(bytes.data());
    return fileAt("tmp/", "initlog", bytes);
}

std::string printed(const std::vector<std::vector<BoardItem>>& boards, bool json = false)
{
    Timeline timeline;
    for (const std::vector<BoardItem>& items : boards) {
        TimelineBoard board;
        for (const BoardItem& item : items)
            board.add(item);
        timeline.addBoard(board);
    }
    std::string out;
    for (const TimelineEvent& event : timeline.events())
        out += json ? timelineJson(event) : timelineText(event);
    return out;
}

// Whether out holds these whole lines.
bool hasLines(const std::string& out, const std::string& lines)
{
    return ("\n" + out).find("\n" + lines) != std::string::npos;
}

// Board 0 boots Active, its daemon alpha dies and it reboots for it, rolls
// back the update it came up with and starts Standby; board 1 takes over,
// its daemon beta dies and is restarted; then the power is cut under both.
std::vector<std::vector<BoardItem>> pairStory()
{
    Bytes fatal = errorLogRecord(T + 100, 0, DEATH_REBOOT, 3);
    std::vector<BoardItem> a = {
        partition(0, "V01L02", fatal),
        historyFile({historyRecord(T, History::START, History::PROVISIONAL, ACTIVE, 0),
                     historyRecord(T + 5, History::MODE, History::FINAL, ACTIVE, 0),
                     historyRecord(T + 130, History::START, History::PROVISIONAL, STANDBY, 0, InitMMBFirm::REBOOT,
                                   nvram::FIRMUP_RECOVERY),
                     historyRecord(T + 135, History::MODE, History::FINAL, STANDBY, 0, InitMMBFirm::REBOOT),
                     historyRecord(T + 500, History::START, History::PROVISIONAL, STANDBY, 0)}),
        errorLog(T + 100, DEATH_REBOOT),
        errorLog(T + 131, ROLLED_BACK, UNIT_UPDATE),
        downInfo(T + 100, "process(alpha:412) down with status(008b)"),
        backtrace("alpha", T + 100),
        startupRecord(fatal),
    };
    std::vector<BoardItem> b = {
        historyFile({historyRecord(T + 1, History::START, History::PROVISIONAL, STANDBY, 1),
                     historyRecord(T + 6, History::MODE, History::FINAL, STANDBY, 1),
                     historyRecord(T + 101, History::MODE, History::ORDERED, ACTIVE, 1),
                     historyRecord(T + 500, History::START, History::PROVISIONAL, ACTIVE, 1)}),
        downInfo(T + 300, "process(beta:77) down with status(0100)"),
    };
    return {b, a};  // the board given first is not the board told first
}

TEST(Timeline, pair_story_merged_oldest_first_then_by_board_as_text_and_json)
{
    EXPECT_EQ(printed(pairStory()),
              "2020-07-04 04:05:20 MMB 0 boot AC-ON, HCP 0 \"V01L02\", boot ROM bank 0, Active (provisional)\n"
              "2020-07-04 04:05:21 MMB 1 boot AC-ON, HCP 0 \"V01L02\", boot ROM bank 0, Standby (provisional)\n"
              "2020-07-04 04:05:25 MMB 0 role Active (final)\n"
              "2020-07-04 04:05:26 MMB 1 role Standby (final)\n"
              "2020-07-04 04:07:00 MMB 0 daemon alpha died: pid 412, signal 11, core dumped, backtrace kept\n"
              "2020-07-04 04:07:00 MMB 0 reboot asked: daemon of process key 17 died (signal 11, core dumped) and "
              "is not restarted: the board reboots [code 09 11 02 00 8B 00]\n"
              "2020-07-04 04:07:00 MMB 0 NVRAM down log: daemon of process key 17 died (signal 11, core dumped) and "
              "is not restarted: the board reboots [code 09 11 02 00 8B 00]\n"
              "2020-07-04 04:07:01 MMB 1 role Active (ordered change)\n"
              "2020-07-04 04:07:30 MMB 0 boot REBOOT, HCP 0 \"V01L02\", boot ROM bank 0, update mode 'R', recovery, "
              "Standby (provisional)\n"
              "2020-07-04 04:07:31 MMB 0 error log: firmware update rolled back: HCP 0 \"V01L02\" runs on "
              "[code 03 10 00 00 00 00]\n"
              "2020-07-04 04:07:35 MMB 0 role Standby (final)\n"
              "2020-07-04 04:10:20 MMB 1 daemon beta died: pid 77, exit code 1\n"
              "2020-07-04 04:10:20 MMB 1 daemon beta restarted\n"
              "2020-07-04 04:13:40 MMB 0 boot AC-ON, HCP 0 \"V01L02\", boot ROM bank 0, Standby (provisional)\n"
              "2020-07-04 04:13:40 MMB 0 start-up record: update mode at start none, found the down log of "
              "2020-07-04 04:07:00\n"
              "2020-07-04 04:13:40 MMB 1 boot AC-ON, HCP 0 \"V01L02\", boot ROM bank 0, Active (provisional)\n");

    // JSON: the same events, each with its role, kind and meaning; a restart
    // carries the role its board last changed to.
    std::string json = printed(pairStory(), true);
    EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), 16);
    for (const char* line :
         {"{\"time\":\"2020-07-04 04:05:21\",\"seconds\":1593835521,\"board\":1,\"kind\":\"boot\",\"role\":"
          "\"Standby\",\"text\":\"boot AC-ON, HCP 0 \\\"V01L02\\\", boot ROM bank 0, Standby (provisional)\","
          "\"meaning\":\"the board was powered on: switched on, or its power was cut; no reboot was asked for\"}\n",
          "{\"time\":\"2020-07-04 04:10:20\",\"seconds\":1593835820,\"board\":1,\"kind\":\"daemon-restart\","
          "\"role\":\"Active\",\"text\":\"daemon beta restarted\",\"meaning\":\"the board keeps no record of a "
          "restart: told by no reboot recorded within 60 seconds of the death\"}\n"})
        EXPECT_TRUE(hasLines(json, line)) << line;
}

TEST(Timeline, a_death_is_restarted_unless_a_reboot_is_recorded_within_a_minute)
{
    struct Case {
        const char* what;
        std::vector<BoardItem> reboot;
        bool restarted;
    } const cases[] = {
        {"nothing recorded", {}, true},
        {"record at the same second", {errorLog(T, DEATH_REBOOT)}, false},
        {"record a minute later", {errorLog(T + 60, DEATH_REBOOT)}, false},
        {"record a minute and a second later", {errorLog(T + 61, DEATH_REBOOT)}, true},
        {"record before the death", {errorLog(T - 1, DEATH_REBOOT)}, true},
        {"a record of another kind", {errorLog(T, {9, 17, 1, 0, 0, 0})}, true},
        {"down log in time", {partition(0, "V1", errorLogRecord(T + 60, 0, DEATH_REBOOT, 3))}, false},
        {"down log late", {partition(0, "V1", errorLogRecord(T + 61, 0, DEATH_REBOOT, 3))}, true},
    };
    for (const Case& c : cases) {
        std::vector<BoardItem> items = c.reboot;
        items.push_back(downInfo(T, "process(alpha:412) down with status(0100)"));
        std::string out = printed({items});
        EXPECT_EQ(out.find("daemon alpha restarted\n") != std::string::npos, c.restarted) << c.what << "\n" << out;
    }
}

// Stored bytes are escaped once, where the event is told.
TEST(Timeline, unprintable_bytes_of_a_stored_name_are_escaped_once)
{
    std::vector<BoardItem> items = {downInfo(T, "process(al\\ph\x01" "a:12) down with status(0100)"),
                                    errorLog(T + 60, DEATH_REBOOT)};
    EXPECT_EQ(printed({items}), "2020-07-04 04:05:20 MMB 0 daemon al\\x5Cph\\x01a died: pid 12, exit code 1\n"
                                "2020-07-04 04:06:20 MMB 0 reboot asked: daemon of process key 17 died (signal 11, core "
                                "dumped) and is not restarted: the board reboots [code 09 11 02 00 8B 00]\n");
    EXPECT_NE(printed({items}, true).find("\"text\":\"daemon al\\\\x5Cph\\\\x01a died"), std::string::npos);
}

// The board a record names none for, the time of the undated start-up
// record, the firmware a roll-back leaves running: told from the other files.
TEST(Timeline, what_a_file_leaves_out_is_told_from_the_others)
{
    const std::string record = "MMB 0 start-up record: update mode at start none, found no down log\n";
    History::Record boot = historyRecord(T, History::START, History::PROVISIONAL, ACTIVE, 0);
    History::Record later = historyRecord(T + 9, History::START, History::PROVISIONAL, ACTIVE, 0);
    History::Record ordered = historyRecord(T + 20, History::MODE, History::ORDERED, STANDBY, 0);
    History::Record bootOf1 = historyRecord(T, History::START, History::PROVISIONAL, ACTIVE, 1);
    History::Record updated = boot;
    updated.currentHcpNo = 1;
    strcpy(updated.currentHcpRev, "V03L00");
    const std::string rolledBack = "MMB 0 error log: firmware update rolled back";
    const std::string code = " [code 03 10 00 00 00 00]\n";
    struct Case {
        const char* what;
        std::vector<std::vector<BoardItem>> boards;
        std::string lines;
    } const cases[] = {
        {"board from the history", {{historyFile({bootOf1})}},
         "2020-07-04 04:05:20 MMB 1 boot AC-ON, HCP 0 \"V01L02\", boot ROM bank 0, Active (provisional)\n"},
        {"board from an error record's unit", {{errorLog(T, {0x0E, 0, 0, 0, 0, 0}, 0xF1)}},
         "2020-07-04 04:05:20 MMB 1 error log: fetching the setup from the other board failed [code 0E 00 00 00 00 "
         "00]\n"},
        {"board from the down log's unit", {{partition(0, "V1", errorLogRecord(T, 0, {9, 0, 0, 0, 0, 0}, 3, 0xF1))}},
         "2020-07-04 04:05:20 MMB 1 NVRAM down log: the dual-board process is gone: the board reboots [code 09 00 00 "
         "00 00 00]\n"},
        {"an update record names no board", {{errorLog(T, ROLLED_BACK, UNIT_UPDATE)}},
         "2020-07-04 04:05:20 MMB ? error log: firmware update rolled back [code 03 10 00 00 00 00]\n"},
        {"board the other's other",
         {{downInfo(T + 1, "process(alpha:1) down with status(0100)")}, {historyFile({boot})}},
         "2020-07-04 04:05:20 MMB 0 boot AC-ON, HCP 0 \"V01L02\", boot ROM bank 0, Active (provisional)\n"
         "2020-07-04 04:05:21 MMB 1 daemon alpha died: pid 1, exit code 1\n"
         "2020-07-04 04:05:21 MMB 1 daemon alpha restarted\n"},
        {"record at the newest start", {{historyFile({boot, later, ordered}), startupRecord(std::nullopt)}},
         "2020-07-04 04:05:29 " + record},
        {"record at the newest event", {{errorLog(T + 40, {0x1C, 4, 0, 0, 0, 0}), startupRecord(std::nullopt)}},
         "2020-07-04 04:06:00 " + record},
        {"record alone", {{startupRecord(std::nullopt)}}, "1970-01-01 00:00:00 MMB ? " + record.substr(6)},
        {"roll-back in the boot it was made in", {{historyFile({updated}), errorLog(T + 1, ROLLED_BACK, UNIT_UPDATE)}},
         "2020-07-04 04:05:21 " + rolledBack + ": HCP 1 \"V03L00\" runs on" + code},
        {"roll-back, NVRAM without a history",
         {{partition(0, "V01L02", std::nullopt), errorLog(T + 1, ROLLED_BACK, UNIT_UPDATE)}},
         "2020-07-04 04:05:21 MMB ? error log: firmware update rolled back: HCP 0 \"V01L02\" runs on" + code},
        {"roll-back made before any boot recorded",
         {{historyFile({updated}), partition(0, "V01L02", std::nullopt), errorLog(T - 1, ROLLED_BACK, UNIT_UPDATE)}},
         "2020-07-04 04:05:19 " + rolledBack + ": HCP 0 \"V01L02\" runs on" + code},
        {"a failed copy is no roll-back",
         {{historyFile({updated}), errorLog(T + 1, {3, 0x20, 3, 0, 0, 0}, UNIT_UPDATE)}},
         "2020-07-04 04:05:21 MMB 0 error log: firmware update: the standby NOR copy failed [code 03 20 03 00 00 "
         "00]\n"},
    };
    for (const Case& c : cases) {
        std::string out = printed(c.boards);
        EXPECT_TRUE(hasLines(out, c.lines)) << c.what << "\n" << out;
    }
}

TEST(Timeline, error_records_in_words)
{
    struct Case {
        Bytes code;
        std::string words;
    } const cases[] = {
        {{2, 2, 6, 0x10, 1, 5}, "watchdog timer: register write failed, errno 5"},
        {{3, 0x60, 4, 0, 0, 0}, "firmware update: the active NOR differs from the package's boot program"},
        {{4, 1, 0, 0, 0, 0}, "boot ROM bank 1 could not be selected"},
        {{9, 3, 1, 0xFF, 0xFF, 1}, "mmbipmid (process key 3) did not signal its start in time"},
        {{9, 3, 1, 0, 0, 0}, "daemon of process key 3 could not be started: the board reboots"},
        {{0x19, 1, 0, 0, 0, 0}, "started after a watchdog reset, boot ROM bank 1"},
        {{0x29, 2, 2, 0, 0, 0}, "network service 2 stop script failed"},
        {{0x55, 0, 0, 0, 0, 0}, "unknown"},
    };
    for (const Case& c : cases) {
        std::vector<BoardItem> items = {errorLog(T, c.code)};
        std::string out = printed({items});
        EXPECT_EQ(out.substr(0, out.find(" [code")), "2020-07-04 04:05:20 MMB 0 error log: " + c.words);
    }
}

} // namespace
