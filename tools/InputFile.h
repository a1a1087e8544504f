// Reading what the decoder is given, safely whatever lies there: a file's
// bytes (a device too), bounded in size, or the entries of a directory.
// Nothing blocks (a FIFO is refused, not opened for its writer) and, inside
// a board's tree, no symbolic link is followed.
#ifndef INPUT_FILE_H
#define INPUT_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct InputFile {
    bool directory = false;
    bool missing = false;              // nothing lies at the path
    std::vector<uint8_t> bytes;        // a file: at most INPUT_MAX_SIZE of them
    std::vector<std::string> entries;  // a directory: its entries, timed names oldest first, then by name
    int fd = -1;                       // a directory: kept open for readInputAt; see closeInput
};

// Most entries a directory may hold; a larger one is refused.
constexpr std::size_t DIRECTORY_MAX_ENTRIES = 10000;

// The order of a folder's entries: timed names ("SECONDS.MILLISECONDS",
// "init_downinfo.SECONDS", "bt.MODULE.SECONDS") by their time, then any by name.
bool fileNameBefore(const std::string& left, const std::string& right);
// Reads up to limit bytes of fd (a limit one past the caller's largest size
// shows that there were more); false with the reason on a read error.
bool readUpTo(int fd, std::size_t limit, std::vector<uint8_t>& bytes, std::string& problem);

// A path named on the command line (a link there is the user's own).
// False, with the reason ("cannot open: ...") in problem, when the input
// cannot be opened or read, is neither a file, a device nor a directory, or
// is larger than any form.
bool readInputFile(const std::string& path, InputFile& input, std::string& problem);
// The entry name of the directory open as directoryFd, never through a
// symbolic link.
bool readInputAt(int directoryFd, const std::string& name, InputFile& input, std::string& problem);
// Opens the folder name of the folder open as directoryFd, unlisted, never
// through a symbolic link.
bool openFolderAt(int directoryFd, const std::string& name, InputFile& input, std::string& problem);
// Closes a directory read or opened by the three above.
void closeInput(InputFile& input);

#endif
