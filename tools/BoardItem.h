// One file of what the decoder is given, told and decoded: where it lies,
// its form and its record, or why it was skipped or refused. A board's tree,
// a folder and a file named alone all give these, to print or to judge.
#ifndef BOARD_ITEM_H
#define BOARD_ITEM_H

#include "DecodedRecord.h"
#include "RecordForm.h"

#include <cstdint>
#include <string>
#include <vector>

struct BoardItem {
    enum class Outcome { Decoded, Skipped, Refused };

    std::string source;     // the path a person is shown
    std::string boardPath;  // its path in the board's tree ("tmp/initlog"); its name outside a tree
    std::string name;       // the file's own name
    Outcome outcome = Outcome::Refused;
    RecordForm form = RecordForm::Partition;
    std::string reason;     // why it was skipped or refused
    std::vector<uint8_t> bytes;
    DecodedRecord record;
};

// How a file's form is told.
struct FormChoice {
    bool given = false;  // every file is read as form, whatever its name and content
    RecordForm form = RecordForm::Partition;
    bool inTree = false;  // the file lies in folder of a board's tree: its path alone tells the form
    std::string folder;   // its folder in the tree ("tmp/")
    bool skipUnknown = false;  // a file of no known form is skipped, not refused
};

// Tells the form of a file that was read, checks its content and decodes it.
BoardItem identifyFile(const std::string& source, const std::string& name, std::vector<uint8_t> bytes,
                       const FormChoice& choice);
// A file that could not be read: refused, or skipped when its name gives no form.
BoardItem unreadableFile(const std::string& source, const std::string& name, const std::string& problem,
                         const FormChoice& choice);

#endif
