#include "DecodeTesting.h"

#include <sstream>

ProcessResult runDecode(const std::vector<std::string>& args)
{
    std::vector<std::string> command = {MMB_DECODE};
    command.insert(command.end(), args.begin(), args.end());
    return runProgram(command);
}

std::vector<Fields> printedRecords(const std::string& out)
{
    std::vector<Fields> records;
    std::istringstream lines(out);
    std::string prefix;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty())
            continue;
        if (line[0] != ' ') {
            std::size_t colon = line.rfind(": ");
            records.push_back({{"source", line.substr(0, colon)}, {"form", line.substr(colon + 2)}});
            prefix.clear();
            continue;
        }
        std::size_t start = line.find_first_not_of(' ');
        std::size_t equals = line.find(" = ");
        if (equals == std::string::npos) {
            prefix = line.substr(start, line.size() - 1 - start) + ".";  // "downLog:" opens the down log
            continue;
        }
        std::string name = line.substr(start, line.find(' ', start) - start);
        records.back()[(start > 2 ? prefix : "") + name] = line.substr(equals + 3);
    }
    return records;
}
