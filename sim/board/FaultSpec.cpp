#include "FaultSpec.h"

#include "CpldRegisters.h"
#include "InitScripts.h"
#include "MramPartition.h"

#include <cerrno>
#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace sim {

namespace {

constexpr std::size_t MAX_CHANGE_BYTES = 16;

const char* const DEVICES[] = {"cpld", "mram0", "mram1", "mram2", "mram3", "mtd0", "mtd1"};
const char* const FILE_SYSTEM_DEVICES[] = {"sda1", "sda2", "mtdblock0", "mtdblock1"};
const char* const TOOLS[] = {"reboot", "mount", "umount", "flash_eraseall", "mkfs.ext3"};

struct ErrnoName {
    const char* name;
    int value;
};
const ErrnoName ERRNO_NAMES[] = {
    {"EPERM", EPERM},   {"ENOENT", ENOENT}, {"EIO", EIO},       {"ENXIO", ENXIO},     {"EBADF", EBADF},
    {"EAGAIN", EAGAIN}, {"ENOMEM", ENOMEM}, {"EACCES", EACCES}, {"EFAULT", EFAULT},   {"EBUSY", EBUSY},
    {"ENODEV", ENODEV}, {"EINVAL", EINVAL}, {"ENOSPC", ENOSPC}, {"EROFS", EROFS},     {"ETIMEDOUT", ETIMEDOUT},
};

[[noreturn]] void reject(const std::string& spec, const std::string& why)
{
    throw std::invalid_argument("bad fault '" + spec + "': " + why);
}

unsigned long number(const std::string& spec, const std::string& text, unsigned long max, const char* what)
{
    std::size_t used = 0;
    unsigned long value = 0;
    try {
        value = std::stoul(text, &used, 0);
    } catch (const std::exception&) {
        reject(spec, std::string(what) + " '" + text + "' is not a number");
    }
    if (used != text.size() || value > max)
        reject(spec, std::string(what) + " '" + text + "' is out of range (0 to " + std::to_string(max) + ")");
    return value;
}

template <typename List>
void oneOf(const std::string& spec, const std::string& text, const List& names, const char* what)
{
    for (const char* name : names)
        if (text == name)
            return;
    reject(spec, std::string("unknown ") + what + " '" + text + "'");
}

bool isHex(const std::string& text)
{
    return text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
}

} // namespace

int FaultSpec::errnoValue(const std::string& text)
{
    for (const ErrnoName& entry : ERRNO_NAMES)
        if (text == entry.name)
            return entry.value;
    int value = static_cast<int>(number(text, text, 4095, "errno"));
    if (value == 0)
        reject(text, "errno 0 is no failure");
    return value;
}

std::string FaultSpec::canonical(const std::string& spec)
{
    std::istringstream in(spec);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);

    std::string counters;
    while (words.size() >= 2 && (words[words.size() - 2] == "after" || words[words.size() - 2] == "times")) {
        unsigned long count = number(spec, words.back(), 1000000, words[words.size() - 2].c_str());
        if (count == 0)
            reject(spec, "counters start at 1");
        if (counters.find(" " + words[words.size() - 2] + " ") != std::string::npos)
            reject(spec, words[words.size() - 2] + " given twice");
        counters = " " + words[words.size() - 2] + " " + std::to_string(count) + counters;
        words.resize(words.size() - 2);
    }
    if (words.empty())
        reject(spec, "no fault given");

    const std::string& kind = words[0];
    auto expect = [&](std::size_t count, const char* usage) {
        if (words.size() != count)
            reject(spec, std::string("usage: ") + usage);
    };
    auto errnoOf = [&](const std::string& text) { return std::to_string(errnoValue(text)); };
    auto partition = [&](const std::string& text) { return std::to_string(number(spec, text, 3, "partition")); };

    std::string out;
    if (kind == "missing" || kind == "open") {
        bool missing = kind == "missing";
        expect(missing ? 2 : 3, missing ? "missing DEVICE" : "open DEVICE ERRNO");
        oneOf(spec, words[1], DEVICES, "device");
        out = "open " + words[1] + " " + (missing ? std::to_string(ENOENT) : errnoOf(words[2]));
    } else if (kind == "cpld-read" || kind == "cpld-write") {
        expect(3, "cpld-read|cpld-write REG ERRNO");
        char reg[16];
        std::snprintf(reg, sizeof reg, "0x%04lx", number(spec, words[1], CpldRegisters::COUNT - 1, "register"));
        out = kind + " " + reg + " " + errnoOf(words[2]);
    } else if (kind == "mram-request") {
        expect(4, "mram-request PART init|checksum ERRNO");
        if (words[2] != "init" && words[2] != "checksum")
            reject(spec, "the request is init or checksum");
        out = kind + " " + partition(words[1]) + " " + words[2] + " " + errnoOf(words[3]);
    } else if (kind == "mram-cut") {
        expect(3, "mram-cut PART BYTES");
        out = kind + " " + partition(words[1]) + " " +
              std::to_string(number(spec, words[2], MramPartition::SIZE - 1, "byte count"));
    } else if (kind == "mram-change") {
        expect(4, "mram-change PART OFFSET HEX");
        const std::string& hex = words[3];
        if (hex.empty() || hex.size() % 2 != 0 || hex.size() / 2 > MAX_CHANGE_BYTES || !isHex(hex))
            reject(spec, "HEX is 1 to 16 bytes as pairs of hex digits");
        unsigned long offset = number(spec, words[2], MramPartition::SIZE - hex.size() / 2, "offset");
        out = kind + " " + partition(words[1]) + " " + std::to_string(offset) + " " + hex;
    } else if (kind == "tool") {
        expect(3, "tool NAME STATUS");
        oneOf(spec, words[1], TOOLS, "tool");
        unsigned long status = number(spec, words[2], 255, "exit status");
        if (status == 0)
            reject(spec, "a failing tool exits with 1 to 255");
        out = kind + " " + words[1] + " " + std::to_string(status);
    } else if (kind == "ipc-connect" || kind == "ipc-send" || kind == "i2c-init" || kind == "feeder-hang") {
        expect(1, "ipc-connect | ipc-send | i2c-init | feeder-hang");
        out = kind;
    } else if (kind == "peer-link") {
        // Read as a state by both boards' dualprocess: nothing counts it.
        expect(1, "peer-link");
        if (!counters.empty())
            reject(spec, "a peer-link fault holds until cleared (no after or times)");
        out = kind;
    } else if (kind == "reboot-call") {
        expect(2, "reboot-call ERRNO");
        out = kind + " " + errnoOf(words[1]);
    } else if (kind == "script") {
        // The scripts are shell scripts that read the fault file; they keep no counters.
        if (!counters.empty())
            reject(spec, "a script fault fires until cleared (no after or times)");
        expect(4, "script NAME start|restart|stop STATUS");
        oneOf(spec, words[1], INIT_SCRIPT_NAMES, "init script");
        oneOf(spec, words[2], INIT_SCRIPT_VERBS, "init script verb");
        unsigned long status = number(spec, words[3], 255, "exit status");
        if (status == 0)
            reject(spec, "a failing script exits with 1 to 255");
        out = kind + " " + words[1] + " " + words[2] + " " + std::to_string(status);
    } else if (kind == "readonly") {
        expect(2, "readonly DEVICE");
        oneOf(spec, words[1], FILE_SYSTEM_DEVICES, "file system device");
        out = kind + " " + words[1];
    } else if (kind == "eeprom-select") {
        if (words.size() == 2 && words[1] == "foreign") {
            out = kind + " foreign";
        } else {
            expect(3, "eeprom-select ACTION DETAIL | eeprom-select foreign");
            out = kind + " " + std::to_string(number(spec, words[1], 0xFFFF, "action code")) + " " +
                  std::to_string(number(spec, words[2], 0xFFFF, "detail"));
        }
    } else {
        reject(spec, "unknown kind '" + kind + "'");
    }
    bool oneShot = kind == "mram-cut" || kind == "mram-change";
    if (oneShot && counters.find("times") == std::string::npos)
        counters += " times 1";
    return out + counters;
}

} // namespace sim
