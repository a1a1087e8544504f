// The health verdict on a board's tree: OK, WARN or FAIL, and one reason a
// line, from NVRAM partition 0, the firmware revision files, the error log
// records and the down-info files.
#ifndef HEALTH_CHECK_H
#define HEALTH_CHECK_H

#include "BoardItem.h"
#include "InitErrorLog.h"
#include "InitMMBFirm.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class HealthCheck {
public:
    enum class Level { Ok, Warn, Fail };
    struct Reason {
        Level level;
        std::string text;
    };

    // Reboots closer together than this are one reboot told twice.
    static constexpr uint32_t SAME_REBOOT_SECONDS = 60;
    // Two reboots within this many seconds warn, three fail.
    static constexpr uint32_t REBOOT_WINDOW_SECONDS = 3600;
    // A daemon dead again this soon after its last death lived no longer
    // than the restart rule allows: the board reboots instead.
    static constexpr uint32_t YOUNG_DEATH_SECONDS = 300;

    void add(const BoardItem& item);
    // The reasons, in the order of the checks; empty when all is well.
    std::vector<Reason> reasons() const;

    static Level verdictOf(const std::vector<Reason>& reasons);
    static const char* levelName(Level level);

private:
    struct TimedDeath {
        uint32_t seconds;
        uint32_t status;
    };

    void checkPartition(std::vector<Reason>& reasons) const;
    void checkFirmwareUpdate(const InitMMBFirm::FirmwareHeader& header, std::vector<Reason>& reasons) const;
    void checkRevisions(const InitMMBFirm::FirmwareHeader& header, std::vector<Reason>& reasons) const;
    void checkReboots(std::vector<Reason>& reasons) const;
    void checkDeaths(std::vector<Reason>& reasons) const;

    std::vector<uint8_t> partition_;            // NVRAM partition 0, when the tree holds it
    std::map<int, std::string> revisions_;      // firmware file system -> revision its version.dat gives
    std::map<int, std::string> revisionFiles_;  // firmware file system -> board path of a version.dat without one
    std::vector<InitErrorLog> records_;
    std::map<std::string, std::vector<TimedDeath>> deaths_;  // by module
    std::vector<Reason> unreadable_;
};

#endif
