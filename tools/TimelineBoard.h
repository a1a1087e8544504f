// The events of one board's tree: gathered from its decoded files (the
// history, down-info files and backtraces, error log records, NVRAM
// partition 0, the start-up record), told in words, and dated.
#ifndef TIMELINE_BOARD_H
#define TIMELINE_BOARD_H

#include "BoardItem.h"
#include "InitErrorLog.h"
#include "InitMMBFirm.h"
#include "InitMMBHistory.h"
#include "StoredRecords.h"
#include "TimelineEvent.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

class TimelineBoard {
public:
    // A death with no reboot recorded within this many seconds after it was
    // followed by a restart.
    static constexpr uint32_t REBOOT_AFTER_DEATH_SECONDS = 60;

    void add(const BoardItem& item);

    // The MMB number its files tell: the newest history record's, else the
    // unit of an error log record or of the down log; -1 when none tells it.
    int board() const;
    // Its events, in the order of their sources; each carries board().
    std::vector<TimelineEvent> events() const;

private:
    void addHistory(std::vector<TimelineEvent>& events) const;
    void addDeaths(std::vector<TimelineEvent>& events) const;
    void addRecords(std::vector<TimelineEvent>& events) const;
    void addDownLog(std::vector<TimelineEvent>& events) const;
    void addStartupRecord(std::vector<TimelineEvent>& events) const;
    std::vector<InitErrorLog> recordsAndDownLog() const;
    bool rebootFollows(uint32_t seconds) const;
    std::string rollBackText(uint32_t seconds) const;
    const InitMMBHistory::Record* bootAt(uint32_t seconds) const;

    std::vector<InitMMBHistory::Record> history_;
    std::vector<DownInfoDeath> deaths_;
    std::set<std::pair<std::string, uint32_t>> backtraces_;  // module and time of each backtrace kept
    std::vector<InitErrorLog> records_;
    std::vector<uint8_t> partition_;
    std::optional<struct InitMMBFirm::initError> startupRecord_;
};

#endif
