#include "BoardLogs.h"

std::vector<std::string> traceLines(const std::string& file)
{
    std::vector<std::string> lines;
    for (const std::string& line : sim::readLines(file))
        lines.push_back(line.substr(0, line.rfind("(sec=")));
    return lines;
}

std::vector<std::string> eventsStartingWith(const sim::SimBoard& board, const std::string& prefix)
{
    std::vector<std::string> found;
    for (const std::string& event : board.events())
        if (event.rfind(prefix, 0) == 0)
            found.push_back(event);
    return found;
}

pid_t pidFromFile(const std::string& path)
{
    std::vector<std::string> lines = sim::readLines(path);
    return lines.empty() ? 0 : static_cast<pid_t>(std::stol(lines[0]));
}
