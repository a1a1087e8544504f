// Fuzzes the fault file as the emulated drivers read it (hw/faults, which
// people and scripts may edit by hand). A table that parses must come back
// unchanged through its text form, and counting events must keep to its contract.
#include "FaultTable.h"
#include "FuzzCheck.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {

// Room for a full table of the longest lines.
constexpr size_t TEXT_SIZE = sim::FaultTable::MAX_FAULTS * (sim::Fault::MAX_WORDS * sim::Fault::WORD_SIZE + 64);

bool sameFault(const sim::Fault& a, const sim::Fault& b)
{
    if (a.wordCount != b.wordCount || a.after != b.after || a.times != b.times)
        return false;
    for (int i = 0; i < a.wordCount; ++i)
        if (strcmp(a.words[i], b.words[i]) != 0)
            return false;
    return true;
}

bool sameTable(const sim::FaultTable& a, const sim::FaultTable& b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i)
        if (!sameFault(a.at(i), b.at(i)))
            return false;
    return true;
}

// Counts up to EVENTS events for the first fault's leading words, as the
// drivers do, checking what each count does to the table.
void countEvents(sim::FaultTable& table)
{
    constexpr int EVENTS = 64;
    const sim::Fault first = table.at(0);
    const char* words[3] = {};
    for (int i = 0; i < first.wordCount && i < 3; ++i)
        words[i] = first.words[i];
    for (int event = 0; event < EVENTS; ++event) {
        int index = table.find(words[0], words[1], words[2]);
        if (index < 0)
            return;
        const sim::Fault counted = table.at(index);
        int sizeBefore = table.size();
        bool fired = table.count(index);
        fuzzCheck(fired == (counted.after <= 1), "a fault fires at its after-th event");
        bool usedUp = fired && counted.times == 1;
        fuzzCheck(table.size() == sizeBefore - (usedUp ? 1 : 0), "a fault goes when its firings are used up");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    static sim::FaultTable table;
    if (!table.parseText(text.c_str()))
        return 0;

    static char formatted[TEXT_SIZE];
    fuzzCheck(table.formatText(formatted, sizeof formatted), "a parsed table fits its text form");
    static sim::FaultTable again;
    fuzzCheck(again.parseText(formatted), "the text form parses");
    fuzzCheck(sameTable(table, again), "the text form gives the same table");

    if (table.size() > 0)
        countEvents(table);
    return 0;
}
