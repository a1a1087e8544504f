// A simulated board on the host: its directory, hardware state, logs, faults
// and mount table. Used by the simulator's front, its tools and the tests.
#ifndef SIM_SIM_BOARD_H
#define SIM_SIM_BOARD_H

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// Where the firmware file system a device holds lies, and its type.
struct FlashDevice {
    const char* device;      // "/dev/sda1" ...
    const char* type;        // "ext3" or "jffs2"
    int hcp;                 // firmware file system 0 or 1
};
// The devices that hold the two firmware file systems, or null.
const FlashDevice* findFlashDevice(const std::string& device);

struct MountEntry {
    std::string device;
    std::string directory;
};

class SimBoard {
public:
    static constexpr std::size_t NOR_SIZE = 256 * 1024;  // bytes in each NOR flash

    struct Options {
        int mmbNumber = 0;  // register 0x72 bit 8
        int runningHcp = 0; // the firmware file system /mnt/mmb names
    };

    explicit SimBoard(std::string directory);

    // A fresh board: registers at their defaults, NVRAM never initialised,
    // both firmware file systems with a revision file, fs0 or fs1 running.
    // Throws std::runtime_error when the directory exists or cannot be made.
    static SimBoard create(const std::string& directory, const Options& options);
    // True when the directory holds a board.
    bool exists() const;

    const std::string& directory() const { return directory_; }
    std::string path(const std::string& relative) const { return directory_ + "/" + relative; }
    // A path of the board's own file tree, such as "/var/mmb/log/init".
    std::string boardPath(const std::string& absolute) const { return directory_ + "/root" + absolute; }

    // Board registers. Throw std::runtime_error on a failed access.
    uint16_t reg(uint32_t number) const;
    void setReg(uint32_t number, uint16_t value) const;
    // Lines "0x%04x 0x%04x" of every register write made on the board.
    std::vector<std::string> cpldWrites() const;

    // Raw NVRAM bytes of a partition, as stored (no checksum check).
    std::vector<uint8_t> nvram(int partition) const;
    // Writes bytes through the driver, as another program on the board would.
    void patchNvram(int partition, std::size_t offset, const std::vector<uint8_t>& bytes) const;
    bool nvramChecksumValid(int partition) const;
    void spoilNvramChecksum(int partition) const;

    // Faults, in their line form.
    void addFault(const std::string& line) const;
    std::vector<std::string> faults() const;
    void clearFaults() const;

    std::vector<MountEntry> mounts() const;
    void setMounts(const std::vector<MountEntry>& entries) const;

    // Writes the firmware package /mnt/hcp/mmbfirm.tgz: a gzip-compressed tar
    // holding rom.image.gz, the gzip-compressed boot image.
    void writeFirmwarePackage(const std::string& bootImage) const;
    // The NOR flash images, "mtd0" or "mtd1".
    std::string norImage(const std::string& device) const;

    // Gives the board its own clock: each reading by a board program returns
    // the time and moves it on by stepMicros.
    void setClock(long long seconds, long long micros, long long stepMicros) const;

    // The redundancy state the dual-board library reports (hw/dual): keys
    // init-active, active, own, other, status-result, install,
    // install-throws, peer, copy-fail, copy-delay, and dualprocess's
    // heartbeat-ms and missed-beats. Empty when not set.
    std::string dualSetting(const std::string& key) const;
    void setDualSetting(const std::string& key, const std::string& value) const;

    // The boot ROM bank the board library stored for the next start.
    int eepromBootBank() const;

    // Kills every program running on the board (SIGKILL), and waits until
    // they are gone.
    void stopPrograms() const;
    // Carries out a reboot: the programs stop, /tmp empties, the firmware
    // file systems are mounted afresh, and the boot loader starts the HCP
    // that NVRAM names next (/mnt/mmb) from the bank the EEPROM names
    // (register 0x600 bit 13). Logged as "boot HCP n bank b". At each boot
    // the board's I2C initialisation completes and removes the marker
    // /var/mmb/fmem/MMB_I2C_INIT_INCOMPLETE, unless the fault "i2c-init"
    // fires (logged as "i2c-init incomplete"): the start-up judges a reboot
    // as REBOOT only once it is gone.
    void reboot() const;
    // The power lost and back: a reboot with the power-on flag (register
    // 0x600 bit 7) set, logged as "power on" first; judged AC-ON.
    void powerCycle() const;

    // Lines of the event log (simulated tool calls and power losses).
    std::vector<std::string> events() const;

private:
    void boot(bool powerOn) const;

    std::string directory_;
};

// Whole-file helpers that throw std::runtime_error naming the call and path.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
std::vector<std::string> readLines(const std::string& path);

} // namespace sim

#endif
