#include "BoardFileName.h"

#include <charconv>
#include <limits>

namespace {

enum class Pattern { Exact, ErrorLogName, DownInfoName, BacktraceName };

struct BoardFile {
    const char* folder;
    const char* name;  // the name, or its fixed start
    Pattern pattern;
    RecordForm form;
};

constexpr char DOWN_INFO_PREFIX[] = "init_downinfo.";
constexpr char BACKTRACE_PREFIX[] = "bt.";

const BoardFile BOARD_FILES[] = {
    {"dev/", "mram0", Pattern::Exact, RecordForm::Partition},
    {"dev/", "mram1", Pattern::Exact, RecordForm::Partition1},
    {"dev/", "mram2", Pattern::Exact, RecordForm::Partition2},
    {"dev/", "mram3", Pattern::Exact, RecordForm::Partition3},
    {"var/mmb/log/", "history", Pattern::Exact, RecordForm::History},
    {"var/mmb/log/init/", "", Pattern::ErrorLogName, RecordForm::ErrorLog},
    {"var/mmb/core/core_save/", DOWN_INFO_PREFIX, Pattern::DownInfoName, RecordForm::DownInfo},
    {"var/mmb/core/core_save/", BACKTRACE_PREFIX, Pattern::BacktraceName, RecordForm::Backtrace},
    {"tmp/", "initlog", Pattern::Exact, RecordForm::StartupRecord},
    {"mnt/fs0/opt/mmb/", "version.dat", Pattern::Exact, RecordForm::RevisionFile},
    {"mnt/fs1/opt/mmb/", "version.dat", Pattern::Exact, RecordForm::RevisionFile},
};

struct Marker {
    const char* folder;
    const char* name;
    const char* meaning;
};

const Marker MARKERS[] = {
    {"tmp/", "MMB_REBOOT_HBL", "this start was judged a power-on (AC-ON)"},
    {"tmp/", "OtherMMBFail", "a fetch from the other board failed again while it was in error"},
    {"tmp/", "firmup_reboot", "a standby flash copy was started in this boot"},
    {"var/mmb/fmem/", "MMB_I2C_INIT_INCOMPLETE",
     "a power-on was seen and the I2C initialisation has not completed since: every start is judged AC-ON"},
    {"var/mmb/fmem/", "MMB_REBOOT_HBL_CNT", "HBL reboot count: a first byte other than 0 makes a start AC-ON"},
    {"var/mmb/fmem/", "GET_OTHER_MMB_FAIL", "a fetch from the other board failed while it was not in error"},
    {"var/mmb/fmem/", "GET_OTHER_PANEL_MMB_FAIL", "a fetch of the other board's panel data failed"},
    {"var/mmb/fmem/", "INH_MMBFSYNC", "standby flash copies are inhibited"},
};

bool startsWith(const std::string& text, const char* start)
{
    return text.compare(0, std::char_traits<char>::length(start), start) == 0;
}

// Digits only, as the board prints an unsigned 32-bit number.
bool parseSeconds(const std::string& digits, uint32_t& seconds)
{
    const char* end = digits.data() + digits.size();
    auto [stop, error] = std::from_chars(digits.data(), end, seconds);
    return !digits.empty() && digits[0] != '-' && digits[0] != '+' && error == std::errc() && stop == end;
}

bool allDigits(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

bool matches(const BoardFile& file, const std::string& name)
{
    uint32_t seconds = 0;
    std::size_t dot = name.rfind('.');
    switch (file.pattern) {
    case Pattern::Exact:
        return name == file.name;
    case Pattern::ErrorLogName:
        return dot != std::string::npos && parseSeconds(name.substr(0, dot), seconds) &&
               allDigits(name.substr(dot + 1)) && name.size() - dot > 3;
    case Pattern::DownInfoName:
    case Pattern::BacktraceName:
        break;
    }
    return startsWith(name, file.name) && secondsOfFileName(name, seconds) &&
           (file.pattern == Pattern::DownInfoName ? dot + 1 == sizeof DOWN_INFO_PREFIX - 1
                                                  : dot > sizeof BACKTRACE_PREFIX - 1);
}

bool inFolder(const char* fileFolder, const std::string& folder)
{
    return folder.empty() || folder == fileFolder;
}

} // namespace

const std::vector<BoardFolder>& boardFolders()
{
    static const std::vector<BoardFolder> folders = {
        {"dev/", false},
        {"var/mmb/log/", false},
        {"var/mmb/log/init/", true},
        {"var/mmb/core/core_save/", true},
        {"var/mmb/fmem/", true},
        {"tmp/", true},
        {"mnt/dump/", true},
        {"etc/mmb/init/", true},
        {"mnt/fs0/opt/mmb/", false},
        {"mnt/fs1/opt/mmb/", false},
    };
    return folders;
}

std::vector<std::string> boardFileNames(const std::string& folder)
{
    std::vector<std::string> names;
    for (const BoardFile& file : BOARD_FILES)
        if (file.folder == folder && file.pattern == Pattern::Exact)
            names.push_back(file.name);
    return names;
}

bool boardFileForm(const std::string& folder, const std::string& name, RecordForm& form)
{
    for (const BoardFile& file : BOARD_FILES) {
        if (inFolder(file.folder, folder) && matches(file, name)) {
            form = file.form;
            return true;
        }
    }
    for (const Marker& marker : MARKERS) {
        if (inFolder(marker.folder, folder) && name == marker.name) {
            form = RecordForm::Marker;
            return true;
        }
    }
    return false;
}

bool secondsOfFileName(const std::string& name, uint32_t& seconds)
{
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return false;
    if (startsWith(name, DOWN_INFO_PREFIX) || startsWith(name, BACKTRACE_PREFIX))
        return parseSeconds(name.substr(dot + 1), seconds);
    return parseSeconds(name.substr(0, dot), seconds);
}

std::string moduleOfBacktrace(const std::string& name)
{
    std::size_t start = sizeof BACKTRACE_PREFIX - 1;
    std::size_t dot = name.rfind('.');
    return dot == std::string::npos || dot < start ? "" : name.substr(start, dot - start);
}

std::string markerMeaning(const std::string& name)
{
    for (const Marker& marker : MARKERS)
        if (name == marker.name)
            return marker.meaning;
    return "";
}
