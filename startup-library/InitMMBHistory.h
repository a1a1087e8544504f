#ifndef INIT_MMB_HISTORY_H
#define INIT_MMB_HISTORY_H

#include <cstddef>
#include <cstdint>
#include <vector>

/// The board's history, kept across reboots: one fixed-size record per
/// start and per mode change in the ring file /var/mmb/log/history, and a
/// copy of each boot's local trace beside it (/var/mmb/log/mmbinit.N.log,
/// N the sequence number of the boot's start record).
///
/// Record, 48 bytes, multi-byte fields big-endian:
/// @verbatim
///    0  4  magic "MMBH"           18  1  running HCP (currentHcpNo)
///    4  4  sequence number        19  1  next HCP (nextHcpNo)
///    8  4  time, seconds (u32)    20  1  boot ROM bank in use
///   12  1  kind (START, MODE)     21  1  boot ROM bank booted next
///   13  1  reason (PROVISIONAL,   22 11  running HCP's revision
///          FINAL, ORDERED)        33 11  next HCP's revision
///   14  1  role: 0 Active,        44  4  CRC-32 of bytes 0..43
///          1 Standby
///   15  1  boot cause (0 AC-ON, 1 REBOOT)
///   16  1  board (MMB number)
///   17  1  firmware-update mode
/// @endverbatim
/// Record N lies in slot N % CAPACITY, at offset slot * RECORD_SIZE, so the
/// file never holds more than CAPACITY records and a full ring replaces its
/// oldest. A record cut by a power cut fails its CRC (or is short) and is
/// skipped, never read; the highest valid sequence number is the newest.
class InitMMBHistory {
public:
    static constexpr const char* PATH = "/var/mmb/log/history";  ///< under MMB_DEBUG_PATH
    static constexpr int RECORD_SIZE = 48;  ///< bytes of one record
    static constexpr int CAPACITY = 256;    ///< records the ring holds
    /// Bytes of a full ring.
    static constexpr std::size_t FILE_MAX_SIZE = static_cast<std::size_t>(RECORD_SIZE) * CAPACITY;
    static constexpr uint8_t MAGIC[4] = {'M', 'M', 'B', 'H'};  ///< first bytes of a record
    static constexpr int REV_SIZE = 11;     ///< revision texts, as in the firmware header
    /// Folder of the kept traces (under MMB_DEBUG_PATH). A copy is made
    /// under a work name first, so a cut copy never stands for a kept trace.
    static constexpr const char* TRACE_FOLDER = "/var/mmb/log";
    /// Name start of the kept traces: "mmbinit.N.log".
    static constexpr const char* TRACE_PREFIX = "mmbinit.";
    /// Bytes of the local trace a kept copy holds at most (its first ones).
    static constexpr std::size_t TRACE_MAX_SIZE = 256 * 1024;

    /// What the record tells.
    enum Kind : uint8_t {
        START = 1,  ///< the board started
        MODE = 2,   ///< the board's role was decided or changed
    };
    /// Why the board has its role.
    enum Reason : uint8_t {
        PROVISIONAL = 1,  ///< the first decision of a start (InitMMBOther::decide)
        FINAL = 2,        ///< the final decision of a start (InitMMBOther::open)
        ORDERED = 3,      ///< a mode change ordered by the dual-board process, completed
    };

    /// One record, as stored.
    struct Record {
        uint32_t sequence;        ///< 0, 1, 2 ...: the highest is the newest
        uint32_t seconds;         ///< time, seconds since the epoch (unsigned)
        uint8_t kind;             ///< Kind
        uint8_t reason;           ///< Reason
        uint8_t role;             ///< 0 Active, 1 Standby (InitMMBFirm::activeMode)
        uint8_t bootCause;        ///< InitMMBFirm::AC_ON or REBOOT, as judged
        uint8_t mmbId;            ///< the board's MMB number
        uint8_t firmUpMode;       ///< 0, 'F' or 'R'
        uint8_t currentHcpNo;     ///< HCP running
        uint8_t nextHcpNo;        ///< HCP booted next
        uint8_t currentBootRom;   ///< boot ROM bank in use
        uint8_t nextBootRom;      ///< boot ROM bank booted next
        char currentHcpRev[REV_SIZE];  ///< running HCP's revision, NUL-padded
        char nextHcpRev[REV_SIZE];     ///< next HCP's revision, NUL-padded

        /// Writes the stored form, its magic and CRC included.
        void pack(uint8_t out[RECORD_SIZE]) const;
        /// Reads a stored record. @return false, changing nothing, when its
        /// magic or CRC is wrong: a torn or damaged record.
        bool unpack(const uint8_t in[RECORD_SIZE]);
    };

    /// A history file's content, read.
    struct Contents {
        std::vector<Record> records;    ///< the valid records, oldest first
        std::vector<int> skippedSlots;  ///< slots holding a torn or damaged record (a short last one too)
    };

    /// Reads the content of a history file (at most FILE_MAX_SIZE bytes are looked at).
    static Contents read(const uint8_t* data, std::size_t size);
    /// The sequence number the next record takes: the newest plus one, or 0.
    static uint32_t nextSequence(const Contents& contents);
    /// CRC-32 (IEEE 802.3, as zlib computes it) of size bytes.
    static uint32_t crc32(const uint8_t* data, std::size_t size);

    /// Appends a record of the board's state as InitMMBFirm holds it (boot
    /// cause, role, HCPs, revisions, boot ROM banks, update mode), with the
    /// time now, and puts it on the storage (fsync of file and folder); then
    /// keeps a copy of the local trace so far (keepTrace). A START record
    /// names this boot's kept trace. Failures are traced, never thrown.
    static void append(Kind kind, Reason reason);
    /// Copies the local trace file (InitLocalTrace::fileName, when set) to
    /// this boot's kept trace, replacing the earlier copy of this boot. Call
    /// it before a reboot, so the trace of why goes with it. Does nothing
    /// before this process's START record was appended.
    static void keepTrace();
};

#endif
