#include "BoardLogs.h"

#include <filesystem>
#include <set>

std::vector<std::string> traceLines(const std::string& file)
{
    std::vector<std::string> lines;
    for (const std::string& line : sim::readLines(file))
        lines.push_back(line.substr(0, line.rfind("(sec=")));
    return lines;
}

std::vector<std::string> stepTraces(const sim::SimBoard& board)
{
    return traceLines(board.boardPath("/tmp/trace.log"));
}

std::vector<std::string> eventsStartingWith(const sim::SimBoard& board, const std::string& prefix)
{
    std::vector<std::string> found;
    for (const std::string& event : board.events())
        if (event.rfind(prefix, 0) == 0)
            found.push_back(event);
    return found;
}

std::vector<ErrorLogFile> errorLogFiles(const sim::SimBoard& board)
{
    std::set<std::string> names;  // sorted by name: by time stamp
    for (const std::filesystem::directory_entry& entry :
         std::filesystem::directory_iterator(board.boardPath("/var/mmb/log/init")))
        names.insert(entry.path().filename().string());
    std::vector<ErrorLogFile> files;
    for (const std::string& name : names) {
        std::string content = sim::readFile(board.boardPath("/var/mmb/log/init/" + name));
        files.push_back({name, std::vector<uint8_t>(content.begin(), content.end())});
    }
    return files;
}

std::vector<std::vector<uint8_t>> errorLogCodes(const sim::SimBoard& board)
{
    std::vector<std::vector<uint8_t>> codes;
    for (const ErrorLogFile& file : errorLogFiles(board))
        codes.emplace_back(file.bytes.begin() + 8, file.bytes.end());
    return codes;
}

pid_t pidFromFile(const std::string& path)
{
    std::vector<std::string> lines = sim::readLines(path);
    return lines.empty() ? 0 : static_cast<pid_t>(std::stol(lines[0]));
}

pid_t daemonPid(const sim::SimBoard& board, const std::string& name)
{
    return pidFromFile(board.boardPath("/var/run/" + name + ".pid"));
}
