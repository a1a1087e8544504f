#ifndef INIT_BUILD_PROCESS_H
#define INIT_BUILD_PROCESS_H

#include "InitBuildResource.h"

#include <cstdint>
#include <string>
#include <vector>

class InitMMBProcess;

/// Reader of the process table: a count line, then one line per supervised
/// process ("name down-operation priority key x x [x x [start-wait]]"). Each
/// process line with a name appends a new InitMMBProcess to the caller's
/// vector, in file order; a line it cannot take is traced and thrown as
/// InitErrorLog*.
class InitBuildProcess : public InitBuildResource {
public:
    /// Bytes of the executable directory and of a module name, with the NUL.
    static constexpr int PATH_SIZE = 256;

    /// directory receives the MMB_DEBUG_PATH prefix; the records are owned
    /// by the holder of processes.
    InitBuildProcess(const char* file, const char* directory, std::vector<InitMMBProcess*>& processes);

    /// Takes the count line or a process line.
    /// @throw InitErrorLog* (new, the catcher deletes it) for a count of 0 or
    /// no number, a process line of too few fields, a name over 255
    /// characters or a number out of range.
    void generateParam(std::vector<std::string*>& fields) override;
    /// Appends a new InitMMBProcess for the last process line, if it had a name.
    void createOneItem() override;
    /// Non-zero for an empty line, one starting with "/*" or a line feed;
    /// "#" starts no comment here.
    int checkComment(const std::string& line) override;
    /// Non-zero for a line starting with "#END".
    int checkFileEnd(const std::string& line) override;

    /// The caller's vector; every process line appends one record.
    std::vector<InitMMBProcess*>& procList;
    /// The executable directory, with the MMB_DEBUG_PATH prefix.
    char execDir[PATH_SIZE];
    char moduleName[PATH_SIZE] = {};  ///< empty: the last data line builds no record
    /// Field 2 of the last process line: 1 allows restarts.
    int32_t downOperation = 0;
    /// Field 3 of the last process line: the niceness increment.
    int32_t priority = 0;
    /// Field 4 of the last process line: names the process in error records.
    uint32_t processKey = 0;
    int32_t processCount = 0;         ///< from the count line; 0 until it is read
    int32_t waitSignal = 0;           ///< kept from the last line with a ninth field

private:
    void readProcessCount(const std::string& field);
    void readModuleName(const std::string& field);
};

#endif
