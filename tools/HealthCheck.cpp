#include "HealthCheck.h"

#include "BoardFileName.h"
#include "RecordDecoder.h"
#include "StoredRecords.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace {

using Level = HealthCheck::Level;
using Reason = HealthCheck::Reason;

constexpr uint8_t UPDATING = 1;
using recordcode::WATCHDOG_START;

std::string revisionText(const char (&field)[InitMMBFirm::REV_SIZE])
{
    return std::string(field, strnlen(field, sizeof field));
}

std::string recordText(const InitErrorLog& record)
{
    return utcText(secondsOf(record)) + ", " + unitOf(record.unitCode) + ", " + reporterOf(record.code[0]) +
           ", code " + codeText(record);
}

// The most reboots within the window, and the first and last of them.
struct RebootRun {
    std::size_t count = 0;
    uint32_t first = 0;
    uint32_t last = 0;
};

RebootRun longestRun(const std::vector<uint32_t>& reboots, uint32_t window)
{
    RebootRun best;
    for (std::size_t start = 0; start < reboots.size(); ++start) {
        std::size_t end = start;
        while (end + 1 < reboots.size() && reboots[end + 1] - reboots[start] <= window)
            ++end;
        if (end - start + 1 > best.count)
            best = {end - start + 1, reboots[start], reboots[end]};
    }
    return best;
}

} // namespace

void HealthCheck::add(const BoardItem& item)
{
    if (item.outcome == BoardItem::Outcome::Refused) {
        unreadable_.push_back({Level::Warn, item.boardPath + ": " + item.reason});
        return;
    }
    if (item.outcome != BoardItem::Outcome::Decoded)
        return;
    const uint8_t* data = item.bytes.data();
    switch (item.form) {
    case RecordForm::Partition:
        partition_ = item.bytes;
        break;
    case RecordForm::RevisionFile: {
        int hcp = item.boardPath.rfind("mnt/fs1/", 0) == 0 ? 1 : 0;
        std::string revision;
        if (revisionOfFile(data, item.bytes.size(), revision))
            revisions_[hcp] = revision;
        else
            revisionFiles_[hcp] = item.boardPath;
        break;
    }
    case RecordForm::ErrorLog:
        records_.push_back(errorLogOf(data));
        break;
    case RecordForm::DownInfo: {
        DownInfoDeath death;
        if (deathOf(item, death))
            deaths_[death.death.module].push_back({death.seconds, death.death.status});
        break;
    }
    default:
        break;
    }
}

std::vector<Reason> HealthCheck::reasons() const
{
    std::vector<Reason> reasons;
    checkPartition(reasons);
    checkReboots(reasons);
    checkDeaths(reasons);
    reasons.insert(reasons.end(), unreadable_.begin(), unreadable_.end());
    return reasons;
}

void HealthCheck::checkPartition(std::vector<Reason>& reasons) const
{
    if (partition_.empty()) {
        reasons.push_back({Level::Warn, "NVRAM partition 0: not in the tree, its state is unknown"});
        return;
    }
    const uint8_t* block = partition_.data() + nvram::ID_OFFSET;
    if (identificationOf(block) != "valid") {
        // The next start replaces the header: what it holds now says nothing.
        reasons.push_back({Level::Fail, "NVRAM partition 0: identification " + identificationText(block)});
        return;
    }
    InitMMBFirm::FirmwareHeader header;
    memcpy(&header, partition_.data() + nvram::HEADER_OFFSET, sizeof header);
    if (std::optional<InitErrorLog> downLog = downLogOf(partition_))
        reasons.push_back({Level::Warn, "down log recorded: " + recordText(*downLog)});
    checkFirmwareUpdate(header, reasons);
    for (int hcp = 0; hcp < 2; ++hcp) {
        std::string name = "HCP " + std::to_string(hcp);
        if (header.partStatus[hcp] == UPDATING && hcp == header.nextHcpNo)
            reasons.push_back(
                {Level::Fail, name + ": marked updating and booted next: its firmware may be half written"});
        else if (header.partStatus[hcp] == UPDATING)
            reasons.push_back({Level::Warn, name + ": marked updating: its firmware may be half written"});
        else if (header.partStatus[hcp] != 0)
            reasons.push_back({Level::Warn, name + ": unknown status " + std::to_string(header.partStatus[hcp])});
    }
    checkRevisions(header, reasons);
}

void HealthCheck::checkFirmwareUpdate(const InitMMBFirm::FirmwareHeader& header, std::vector<Reason>& reasons) const
{
    if (header.firmUpMode == nvram::FIRMUP_APPLY)
        reasons.push_back({Level::Fail, "firmware update: stuck in 'F': the start that applies it did not finish"});
    else if (header.firmUpMode == nvram::FIRMUP_RECOVERY)
        reasons.push_back({Level::Warn, "firmware update: rolled back ('R'): HCP " +
                                            std::to_string(header.currentHcpNo) + " " +
                                            revisionText(header.currentHcpRev) + " runs on"});
    else if (header.firmUpMode != nvram::FIRMUP_NONE)
        reasons.push_back({Level::Warn, "firmware update: unknown mode " + std::to_string(header.firmUpMode)});
    for (const InitErrorLog& record : records_)
        if (isRollBack(record))
            reasons.push_back({Level::Warn, "firmware update: rolled back at " + utcText(secondsOf(record))});
}

void HealthCheck::checkRevisions(const InitMMBFirm::FirmwareHeader& header, std::vector<Reason>& reasons) const
{
    struct Named {
        const char* role;
        uint8_t hcp;
        std::string revision;
    };
    std::vector<Named> named = {{"current", header.currentHcpNo, revisionText(header.currentHcpRev)},
                                {"next", header.nextHcpNo, revisionText(header.nextHcpRev)}};
    if (named[0].hcp == named[1].hcp && named[0].revision == named[1].revision)
        named = {{"current and next", named[0].hcp, named[0].revision}};
    for (const Named& hcp : named) {
        std::string name = "HCP " + std::to_string(hcp.hcp) + " (" + hcp.role + ")";
        std::string file = "mnt/fs" + std::to_string(hcp.hcp) + "/opt/mmb/version.dat";
        auto found = revisions_.find(hcp.hcp);
        if (hcp.hcp > 1)
            reasons.push_back({Level::Warn, name + ": no such firmware file system"});
        else if (revisionFiles_.count(hcp.hcp) != 0)
            reasons.push_back({Level::Warn, name + ": " + file + " names no revision"});
        else if (found == revisions_.end())
            reasons.push_back({Level::Warn, name + ": no " + file + " to compare the NVRAM revision with"});
        else if (found->second != hcp.revision)
            reasons.push_back({Level::Warn, name + ": NVRAM revision '" + hcp.revision + "' differs from '" +
                                                found->second + "' of " + file});
    }
}

void HealthCheck::checkReboots(std::vector<Reason>& reasons) const
{
    std::vector<uint32_t> told;
    for (const InitErrorLog& record : records_) {
        if (isDeathReboot(record) || record.code[0] == WATCHDOG_START)
            told.push_back(secondsOf(record));
    }
    if (std::optional<InitErrorLog> downLog = downLogOf(partition_))
        told.push_back(secondsOf(*downLog));
    std::sort(told.begin(), told.end());
    std::vector<uint32_t> reboots;
    for (uint32_t seconds : told)
        if (reboots.empty() || seconds - reboots.back() > SAME_REBOOT_SECONDS)
            reboots.push_back(seconds);
    RebootRun run = longestRun(reboots, REBOOT_WINDOW_SECONDS);
    if (run.count >= 2)
        reasons.push_back({run.count >= 3 ? Level::Fail : Level::Warn,
                           "reboots: " + std::to_string(run.count) + " within an hour, from " + utcText(run.first) +
                               " to " + utcText(run.last)});
}

void HealthCheck::checkDeaths(std::vector<Reason>& reasons) const
{
    for (const auto& [module, deaths] : deaths_) {
        std::vector<TimedDeath> sorted = deaths;
        std::sort(sorted.begin(), sorted.end(),
                  [](const TimedDeath& left, const TimedDeath& right) { return left.seconds < right.seconds; });
        std::size_t young = 0;
        const TimedDeath* last = nullptr;
        for (std::size_t i = 1; i < sorted.size(); ++i) {
            if (sorted[i].seconds - sorted[i - 1].seconds <= YOUNG_DEATH_SECONDS) {
                ++young;
                last = &sorted[i];
            }
        }
        if (young == 0)
            continue;
        std::string text = "daemon " + module + ": died " + std::to_string(sorted.size()) + " times, " +
                           std::to_string(young) + " within " + std::to_string(YOUNG_DEATH_SECONDS) +
                           " seconds of the death before (the last at " + utcText(last->seconds) + ", " +
                           statusOf(last->status) + ")";
        reasons.push_back({Level::Warn, text});
    }
}

HealthCheck::Level HealthCheck::verdictOf(const std::vector<Reason>& reasons)
{
    Level verdict = Level::Ok;
    for (const Reason& reason : reasons)
        verdict = std::max(verdict, reason.level);
    return verdict;
}

const char* HealthCheck::levelName(Level level)
{
    switch (level) {
    case Level::Warn:
        return "WARN";
    case Level::Fail:
        return "FAIL";
    case Level::Ok:
        break;
    }
    return "OK";
}
