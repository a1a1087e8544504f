#ifndef INIT_ERROR_LOG_H
#define INIT_ERROR_LOG_H

#include <cstdint>

class InitMMBFile;

/// The library's record of a failure or notable event: a time stamp and
/// eight code bytes. Thrown as InitErrorLog* where the caller must react,
/// saved as a 16-byte error log file or as the NVRAM down log.
///
/// Saved form, big-endian:
/// @verbatim
///   0  4  time, seconds          8  1  kind
///   4  4  time, microseconds     9  1  unit code (0xF0, 0xF1, 0xC2)
///                               10  6  code bytes 0 to 5
/// @endverbatim
class InitErrorLog {
public:
    static constexpr int SAVED_SIZE = 16;  ///< bytes of the saved form
    static constexpr int CODE_COUNT = 6;   ///< code bytes after kind and unit code

    /// A record stamped with the current time. kind: 1 warning, 3 fatal
    /// (others as the thrower chooses); unit 0 gives unit code 0xF0, 2 gives
    /// 0xC2, any other 0xF1; c0 to c5 are the code bytes. Never throws: it
    /// is made on failure paths, and in the expression that throws it.
    InitErrorLog(int kind, int unit, unsigned char c0, unsigned char c1, unsigned char c2, unsigned char c3,
                 unsigned char c4, unsigned char c5) noexcept;

    /// The 16 saved bytes.
    void pack(uint8_t out[SAVED_SIZE]) const;
    /// Takes every saved field from the 16 bytes and marks the record valid.
    void unpack(const uint8_t in[SAVED_SIZE]);
    /// Writes the saved form to file (path set by the caller), mode "w+".
    void saveLog(InitMMBFile& file) const;
    /// Saves the record as "/var/mmb/log/init/<seconds>.<milliseconds>".
    static void outputLog(InitErrorLog& record);

    /// When the record was made.
    struct Time {
        /// Seconds since the epoch.
        int32_t seconds;
        /// Microseconds within the second.
        int32_t microseconds;
    };

    /// Made, or read back whole by unpack().
    bool valid;
    /// Time stamp.
    Time time;
    /// 1 a warning, 3 fatal; as the thrower chose.
    uint8_t kind;
    /// 0xF0, 0xF1 or 0xC2, from the unit.
    uint8_t unitCode;
    /// What failed, as the thrower coded it.
    uint8_t code[CODE_COUNT];
};

static_assert(sizeof(InitErrorLog::Time) + 2 + InitErrorLog::CODE_COUNT == InitErrorLog::SAVED_SIZE,
              "saved form: time stamp, kind, unit code and code bytes in 16 bytes");

#endif
