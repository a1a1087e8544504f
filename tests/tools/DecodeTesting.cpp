#include "DecodeTesting.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

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

std::string boardTree(const sim::SimBoard& board)
{
    std::string tree = board.path("tree");
    fs::remove_all(tree);
    fs::create_directories(tree + "/mnt/fs0");
    fs::create_directories(tree + "/mnt/fs1");
    const auto options = fs::copy_options::recursive | fs::copy_options::copy_symlinks;
    for (const char* folder : {"tmp", "var", "etc", "mnt"})
        fs::copy(board.boardPath(std::string("/") + folder), tree + "/" + folder, options);
    fs::create_directories(tree + "/dev");
    for (int partition = 0; partition < 4; ++partition)
        fs::copy(board.path("hw/mram" + std::to_string(partition)), tree + "/dev/mram" + std::to_string(partition));
    for (int hcp = 0; hcp < 2; ++hcp)
        fs::copy(board.path("hcp" + std::to_string(hcp) + "/opt"), tree + "/mnt/fs" + std::to_string(hcp) + "/opt",
                 options);
    return tree;
}

ProcessResult crashDaemon(const sim::SimBoard& board)
{
    board.setClock(1593835520, 0, 0);
    sim::writeFile(board.path("hw/timers"), "scale 1000\n");
    fs::create_directories(board.path("hw/daemons"));
    fs::create_symlink(std::string(MMB_BIN_DIR) + "/mmb-daemon", board.boardPath("/opt/mmb/bin/alpha"));
    sim::writeFile(board.path("hw/daemons/alpha"), "live 10 crash\n");
    sim::writeFile(board.boardPath("/etc/mmb/init/pro_file.ctl"), "1\nalpha 2 0 17 x y\n");
    sim::writeFile(board.boardPath("/var/mmb/core/segfault.txt"), "#0 0x10001000 in main ()\n");
    return runOnBoard(board, {"timeout", "30", "proc-steps", "activate", "monitor"});
}

std::string writeInput(const std::string& path, const Bytes& bytes)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
}
