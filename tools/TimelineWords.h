// What an error log record says, in words a field engineer reads, and what
// it means for the board: the timeline's explanation of the records it
// shows (the decoder names only the reporter and the code bytes).
#ifndef TIMELINE_WORDS_H
#define TIMELINE_WORDS_H

#include "InitErrorLog.h"

#include <string>

struct RecordWords {
    std::string text;     // "firmware update rolled back"
    std::string meaning;  // what it means and what to do
};

RecordWords recordWords(const InitErrorLog& record);

#endif
