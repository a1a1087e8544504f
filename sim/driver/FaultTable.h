// Faults armed on a simulated board, kept as text lines in hw/faults:
//
//   <kind> <word>... [after N] [times M]
//
// A fault matches an event by its leading words. "after N" lets N-1
// matching events pass before it fires; "times M" removes it after it has
// fired M times (no "times": it fires until cleared). The simulator's front
// writes the words in one canonical form (registers as 0x%04x, errno in
// decimal), so matching compares text.
#ifndef SIM_FAULT_TABLE_H
#define SIM_FAULT_TABLE_H

#include <stddef.h>

namespace sim {

struct Fault {
    static constexpr int MAX_WORDS = 6;
    static constexpr int WORD_SIZE = 40;

    char words[MAX_WORDS][WORD_SIZE];
    int wordCount;
    unsigned after;  // fires at the after-th matching event (1 = the next one)
    unsigned times;  // firings left; 0 = unlimited

    // Word i as a number (strtol with base 0), or fallback when absent.
    long number(int i, long fallback = 0) const;
};

class FaultTable {
public:
    static constexpr int MAX_FAULTS = 32;

    // Parses one line; false for an empty or malformed line.
    static bool parse(const char* line, Fault& fault);
    // Writes the line form of a fault (without newline) into out.
    static void format(const Fault& fault, char* out, size_t size);

    // Reads the table from text; false when a line is malformed or there are too many.
    bool parseText(const char* text);
    // Writes the whole table as text; false when it does not fit.
    bool formatText(char* out, size_t size) const;

    bool add(const Fault& fault);
    void remove(int index);
    int size() const { return count_; }
    const Fault& at(int index) const { return faults_[index]; }

    // Index of the first fault whose leading words equal the given ones
    // (a null word ends the list), or -1.
    int find(const char* kind, const char* word1 = nullptr, const char* word2 = nullptr) const;

    // Counts one matching event for fault index; true when the fault fires.
    // Removes a fault whose firings are used up.
    bool count(int index);

    // Loads the board's fault file under a lock, counts one event for the
    // first fault matching the words and saves the changed counters. True
    // when that fault fires; its words are copied to fired.
    static bool consume(const char* board, Fault* fired, const char* kind,
                        const char* word1 = nullptr, const char* word2 = nullptr);

    // Whole-file load and save, used by the simulator's front.
    bool load(const char* board);
    bool save(const char* board) const;

private:
    Fault faults_[MAX_FAULTS];
    int count_ = 0;
};

} // namespace sim

#endif
