#include "FaultTable.h"

#include "BoardPaths.h"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr size_t MAX_FILE = 8192;

bool parseCounter(const char* text, unsigned& value)
{
    char* end = nullptr;
    unsigned long parsed = strtoul(text, &end, 10);
    if (end == text || *end != '\0' || parsed == 0 || parsed > 1000000)
        return false;
    value = static_cast<unsigned>(parsed);
    return true;
}

// Reads the whole fault file from fd into buffer; false when it is too large.
bool readAll(int fd, char* buffer, size_t size)
{
    ssize_t got = pread(fd, buffer, size - 1, 0);
    if (got < 0 || static_cast<size_t>(got) >= size - 1)
        return false;
    buffer[got] = '\0';
    return true;
}

bool writeAll(int fd, const char* text)
{
    size_t length = strlen(text);
    if (ftruncate(fd, 0) != 0)
        return false;
    return pwrite(fd, text, length, 0) == static_cast<ssize_t>(length);
}

} // namespace

long Fault::number(int i, long fallback) const
{
    if (i >= wordCount)
        return fallback;
    return strtol(words[i], nullptr, 0);
}

bool FaultTable::parse(const char* line, Fault& fault)
{
    fault.wordCount = 0;
    fault.after = 1;
    fault.times = 0;
    char token[Fault::WORD_SIZE];
    const char* p = line;
    const char* pendingCounter = nullptr;
    while (*p != '\0') {
        while (*p == ' ' || *p == '\t')
            ++p;
        if (*p == '\0' || *p == '\n')
            break;
        size_t length = strcspn(p, " \t\n");
        if (length >= sizeof token)
            return false;
        memcpy(token, p, length);
        token[length] = '\0';
        p += length;
        if (pendingCounter != nullptr) {
            unsigned& target = strcmp(pendingCounter, "after") == 0 ? fault.after : fault.times;
            if (!parseCounter(token, target))
                return false;
            pendingCounter = nullptr;
        } else if (strcmp(token, "after") == 0 || strcmp(token, "times") == 0) {
            pendingCounter = strcmp(token, "after") == 0 ? "after" : "times";
        } else {
            if (fault.wordCount == Fault::MAX_WORDS)
                return false;
            memcpy(fault.words[fault.wordCount++], token, length + 1);
        }
    }
    return pendingCounter == nullptr && fault.wordCount > 0;
}

void FaultTable::format(const Fault& fault, char* out, size_t size)
{
    size_t used = 0;
    out[0] = '\0';
    for (int i = 0; i < fault.wordCount && used < size; ++i)
        used += static_cast<size_t>(snprintf(out + used, size - used, i == 0 ? "%s" : " %s", fault.words[i]));
    if (fault.after > 1 && used < size)
        used += static_cast<size_t>(snprintf(out + used, size - used, " after %u", fault.after));
    if (fault.times > 0 && used < size)
        snprintf(out + used, size - used, " times %u", fault.times);
}

bool FaultTable::parseText(const char* text)
{
    count_ = 0;
    char line[Fault::MAX_WORDS * Fault::WORD_SIZE + 64];
    const char* p = text;
    while (*p != '\0') {
        size_t length = strcspn(p, "\n");
        if (length >= sizeof line)
            return false;
        memcpy(line, p, length);
        line[length] = '\0';
        p += length;
        if (*p == '\n')
            ++p;
        if (line[strspn(line, " \t")] == '\0')
            continue;
        Fault fault;
        if (!parse(line, fault) || !add(fault))
            return false;
    }
    return true;
}

bool FaultTable::formatText(char* out, size_t size) const
{
    size_t used = 0;
    out[0] = '\0';
    for (int i = 0; i < count_; ++i) {
        char line[Fault::MAX_WORDS * Fault::WORD_SIZE + 64];
        format(faults_[i], line, sizeof line);
        int n = snprintf(out + used, size - used, "%s\n", line);
        if (n < 0 || static_cast<size_t>(n) >= size - used)
            return false;
        used += static_cast<size_t>(n);
    }
    return true;
}

bool FaultTable::add(const Fault& fault)
{
    if (count_ == MAX_FAULTS)
        return false;
    faults_[count_++] = fault;
    return true;
}

void FaultTable::remove(int index)
{
    for (int i = index; i + 1 < count_; ++i)
        faults_[i] = faults_[i + 1];
    --count_;
}

int FaultTable::find(const char* kind, const char* word1, const char* word2) const
{
    const char* wanted[] = {kind, word1, word2};
    for (int i = 0; i < count_; ++i) {
        bool match = true;
        for (int w = 0; w < 3 && wanted[w] != nullptr && match; ++w)
            match = w < faults_[i].wordCount && strcmp(faults_[i].words[w], wanted[w]) == 0;
        if (match)
            return i;
    }
    return -1;
}

bool FaultTable::count(int index)
{
    Fault& fault = faults_[index];
    if (fault.after > 1) {
        --fault.after;
        return false;
    }
    if (fault.times > 0 && --fault.times == 0)
        remove(index);
    return true;
}

bool FaultTable::consume(const char* board, Fault* fired, const char* kind,
                         const char* word1, const char* word2)
{
    int fd = openBoardFile(board, FAULT_FILE, O_RDWR);
    if (fd < 0)
        return false;  // no fault armed: the common case costs one failed open
    bool fires = false;
    static char text[MAX_FILE];
    static FaultTable table;
    if (flock(fd, LOCK_EX) == 0 && readAll(fd, text, sizeof text) && table.parseText(text)) {
        int index = table.find(kind, word1, word2);
        if (index >= 0) {
            Fault matched = table.at(index);
            bool hadCounters = matched.after > 1 || matched.times > 0;
            fires = table.count(index);
            if (fires && fired != nullptr)
                *fired = matched;
            if (hadCounters && table.formatText(text, sizeof text))
                writeAll(fd, text);
        }
    }
    close(fd);
    return fires;
}

bool FaultTable::load(const char* board)
{
    count_ = 0;
    int fd = openBoardFile(board, FAULT_FILE, O_RDONLY);
    if (fd < 0)
        return true;
    static char text[MAX_FILE];
    bool ok = flock(fd, LOCK_SH) == 0 && readAll(fd, text, sizeof text) && parseText(text);
    close(fd);
    return ok;
}

bool FaultTable::save(const char* board) const
{
    char path[PATH_MAX];
    if (!boardPath(path, sizeof path, board, "%s", FAULT_FILE))
        return false;
    if (count_ == 0)
        return unlink(path) == 0 || access(path, F_OK) != 0;
    int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    static char text[MAX_FILE];
    bool ok = flock(fd, LOCK_EX) == 0 && formatText(text, sizeof text) && writeAll(fd, text);
    close(fd);
    return ok;
}

} // namespace sim
