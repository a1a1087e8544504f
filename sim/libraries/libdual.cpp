// Host stand-in for the dual-board library, backed by the simulated board:
// the status words and decisions are settings of the board (hw/dual:
// init-active, active, own, other, status-result), and file copies go to
// and from the other board's tree ("peer" names its directory). A setting
// "copy-fail N" fails the next N copies; "copy-delay S" lets an
// asynchronous copy arrive S board seconds later (with a board clock).
#include "libdual.h"

#include "BoardPaths.h"
#include "BoardTime.h"
#include "EventLog.h"
#include "FileCopy.h"
#include "SettingsFile.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr unsigned long ACTIVE = 0x40000000;
constexpr int ASYNCHRONOUS = 0x4001;

const char* board()
{
    return sim::boardFromEnvironment();
}

// A 32-bit status word: parsed unsigned, since a signed long on the board
// (32 bits) would clamp every word with bit 31 set to 0x7FFFFFFF.
unsigned long word(const char* key, unsigned long fallback)
{
    char value[24];
    return sim::getSetting(board(), sim::DUAL_FILE, key, value, sizeof value) ? std::strtoul(value, nullptr, 0)
                                                                               : fallback;
}

// Counts down a "copy-fail" setting; true when this copy is to fail.
bool copyFails()
{
    long left = sim::getNumberSetting(board(), sim::DUAL_FILE, "copy-fail", 0);
    if (left <= 0)
        return false;
    char value[24];
    std::snprintf(value, sizeof value, "%ld", left - 1);
    sim::putSetting(board(), sim::DUAL_FILE, "copy-fail", value);
    return true;
}

// The path inside the other board's tree; false without another board.
bool peerPath(const char* path, char (&out)[PATH_MAX])
{
    char peer[PATH_MAX];
    if (!sim::getSetting(board(), sim::DUAL_FILE, "peer", peer, sizeof peer))
        return false;
    int length = std::snprintf(out, sizeof out, "%s/root%s", peer, path);
    return length > 0 && static_cast<size_t>(length) < sizeof out;
}

} // namespace

extern "C" unsigned long dual_get_initActive(int, unsigned long)
{
    return word("init-active", ACTIVE);
}

extern "C" unsigned long dual_get_Active(char*, char*, char*)
{
    return word("active", ACTIVE);
}

extern "C" int dual_get_status(unsigned long* own, unsigned long* other)
{
    int result = static_cast<int>(sim::getNumberSetting(board(), sim::DUAL_FILE, "status-result", 0));
    if (result < 0)
        return result;
    *own = word("own", ACTIVE);
    *other = word("other", 0);
    return result;
}

extern "C" int dual_request_copyFile(char* path, int flags)
{
    sim::logEvent(board(), "dual_request_copyFile %s 0x%x", path, flags);
    char source[PATH_MAX];
    if (!peerPath(path, source) || copyFails())
        return -1;
    long delay = sim::getNumberSetting(board(), sim::DUAL_FILE, "copy-delay", 0);
    long long now = sim::boardSeconds(board());
    if (flags == ASYNCHRONOUS && delay > 0 && now >= 0) {
        char action[PATH_MAX * 2 + 8];
        std::snprintf(action, sizeof action, "copy %s %s", source, path);
        return sim::scheduleAt(board(), now + delay, action) ? 0 : -1;
    }
    return sim::copyFile(source, path) ? 0 : -1;
}

extern "C" int dual_copyFile(char* path, int flags)
{
    sim::logEvent(board(), "dual_copyFile %s 0x%x", path, flags);
    char target[PATH_MAX];
    if (!peerPath(path, target) || copyFails())
        return -1;
    return sim::copyFile(path, target) ? 0 : -1;
}
