// Where the board keeps its files and how it names them: the form a board
// path gives, the time a name carries, and what a marker file means.
#ifndef BOARD_FILE_NAME_H
#define BOARD_FILE_NAME_H

#include "RecordForm.h"

#include <cstdint>
#include <string>
#include <vector>

// A folder of a board's tree that the decoder reads ("var/mmb/log/init/").
struct BoardFolder {
    const char* path;
    bool everyFile;  // every file in it is listed; otherwise only the board's own names are read
};
const std::vector<BoardFolder>& boardFolders();

// The names the board gives its files in folder, when they are fixed ("mram0").
std::vector<std::string> boardFileNames(const std::string& folder);

// The form of the file name in folder ("tmp/"), or in any folder when
// folder is empty.
bool boardFileForm(const std::string& folder, const std::string& name, RecordForm& form);

// The seconds a name carries: "init_downinfo.SECONDS", "bt.MODULE.SECONDS",
// "SECONDS.MILLISECONDS". False for any other name.
bool secondsOfFileName(const std::string& name, uint32_t& seconds);
// The module a backtrace name carries: "bt.MODULE.SECONDS".
std::string moduleOfBacktrace(const std::string& name);
// What a marker file means; empty for a name that is no marker.
std::string markerMeaning(const std::string& name);

#endif
