// mmb-collect on simulated boards, and mmb-decode reading its bundle: the
// bundle decodes as the board's tree does, collecting changes nothing on
// the board, a board in a bad state still gives one, and every bad archive
// is refused whole.
#include "DecodeTesting.h"
#include "NvramTesting.h"
#include "TestBoard.h"
#include "UstarWriter.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const Header STORED = {0, 0, 1, 0, 0, 0, 0, 0, 0, "V01L02", "V01L01"};
const std::string BUNDLE = "/var/bundle.tar";  // outside every folder collected

// Every file, link and folder under dir with what it holds.
std::map<std::string, std::string> snapshot(const std::string& dir)
{
    std::map<std::string, std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        std::string path = entry.path().string().substr(dir.size());
        if (entry.is_symlink())
            found[path] = "-> " + fs::read_symlink(entry.path()).string();
        else if (entry.is_regular_file())
            found[path] = sim::readFile(entry.path().string());
        else
            found[path] = "folder";
    }
    return found;
}

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

ProcessResult collect(const sim::SimBoard& board)
{
    return runOnBoard(board, {"mmb-collect", "-o", BUNDLE});
}

TEST(Collect, a_bundle_decodes_as_the_boards_tree_and_changes_nothing)
{
    TestBoard board;
    makeHealthy(*board, STORED);
    ASSERT_EQ(crashDaemon(*board).status, 0);
    board->patchNvram(0, 0, {'R'});  // an update rolled back
    board->setMounts({{"/dev/sda1", "/mnt/fs0"}, {"/dev/sda2", "/mnt/fs1"}});  // as a started board has them
    fs::remove(board->boardPath("/tmp/core"));  // where the host's kernel may drop the daemon's core
    // Older, and after the crash's record by name: the bundle too lists by time.
    writeInput(board->boardPath("/var/mmb/log/init/999999999.000"), errorLogRecord(999999999, 0, {3, 0x10, 0, 0, 0, 0}));
    std::map<std::string, std::string> before = snapshot(board->directory());

    ProcessResult run = collect(*board);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out + run.err, "");
    std::string bundle = board->boardPath(BUNDLE);
    EXPECT_EQ(fs::status(bundle).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    std::map<std::string, std::string> after = snapshot(board->directory());
    after.erase("/root" + BUNDLE);
    EXPECT_TRUE(before == after) << "collecting changed the board";

    std::string tree = boardTree(*board);
    using Runs = std::vector<std::vector<std::string>>;
    for (std::vector<std::string> args : Runs{{tree}, {"--json", tree}, {"--check", tree}, {"--json", "-c", tree}}) {
        ProcessResult decodedTree = runDecode(args);
        args.back() = bundle;
        ProcessResult decodedBundle = runDecode(args);
        EXPECT_EQ(decodedBundle.status, decodedTree.status) << decodedBundle.err;
        EXPECT_EQ(decodedBundle.out, replaced(decodedTree.out, tree, bundle));
        EXPECT_EQ(decodedBundle.err, replaced(decodedTree.err, tree, bundle));
    }
    EXPECT_NE(runDecode({bundle}).out.find("down-info file"), std::string::npos);
    EXPECT_EQ(runDecode({"--check", bundle}).status, 3);  // the roll-back and the death judged
}

TEST(Collect, a_board_with_damaged_nvram_and_no_daemons_gives_a_bundle)
{
    TestBoard board;
    board->patchNvram(0, 0, std::vector<uint8_t>(4096, 0xA5));
    board->spoilNvramChecksum(2);
    board->addFault("missing mram1");
    fs::remove_all(board->boardPath("/var/mmb/core"));
    ASSERT_EQ(mkfifo(board->boardPath("/tmp/fifo").c_str(), 0600), 0);  // never opened, so nothing blocks
    fs::create_symlink("/etc/shadow", board->boardPath("/tmp/link"));

    ProcessResult run = collect(*board);
    ASSERT_EQ(run.status, 0) << run.err;
    std::string manifest = runProgram({"tar", "-xOf", board->boardPath(BUNDLE), "mmb-collect.txt"}).out;
    for (const char* line : {
             "\nboard = MMB 0\n",
             "\nrunning partition = /mnt/mmb -> ",
             "\nnot taken: dev/mram1: cannot open: No such file or directory\n",
             "\nnot taken: dev/mram2: cannot read: Input/output error\n",
             "\nnot taken: var/mmb/core/: missing\n",
             "\nnot taken: tmp/fifo: a FIFO, not opened\n",
             "\nnot taken: tmp/link: a symbolic link to /etc/shadow, not followed\n",
         })
        EXPECT_NE(manifest.find(line), std::string::npos) << line << " not in\n" << manifest;
    ProcessResult check = runDecode({"--check", board->boardPath(BUNDLE)});
    EXPECT_EQ(check.status, 4) << check.err;
    EXPECT_EQ(check.out.substr(0, check.out.find('\n')), "health: FAIL");
}

TEST(Collect, the_output_is_created_alone_and_replaced_only_when_forced)
{
    TestBoard board;
    std::string bundle = board->boardPath(BUNDLE);
    ASSERT_EQ(collect(*board).status, 0);
    ProcessResult again = collect(*board);
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.err, "mmb-collect: " + BUNDLE + ": exists (--force replaces it)\n");
    EXPECT_EQ(runOnBoard(*board, {"mmb-collect", "--force", "-o", BUNDLE}).status, 0);
    ASSERT_EQ(runOnBoard(*board, {"mmb-collect", "-o", "/tmp/in-a-collected-folder.tar"}).status, 0);
    EXPECT_EQ(runProgram({"tar", "-tf", board->boardPath("/tmp/in-a-collected-folder.tar"), "tmp/"}).out, "tmp/\n");

    fs::remove(bundle);
    fs::create_symlink("/var/target", bundle);
    ProcessResult link = runOnBoard(*board, {"mmb-collect", "--force", "-o", BUNDLE});
    EXPECT_EQ(link.status, 1);
    EXPECT_EQ(link.err, "mmb-collect: " + BUNDLE + ": Too many levels of symbolic links\n");
    EXPECT_FALSE(fs::exists(board->boardPath("/var/target")));

    fs::remove(bundle);
    sim::writeFile(bundle, "someone's\n");
    fs::permissions(bundle, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    ProcessResult shared = runOnBoard(*board, {"mmb-collect", "--force", "-o", BUNDLE});
    EXPECT_EQ(shared.err, "mmb-collect: " + BUNDLE + ": not a file of this user with mode 0600: not replaced\n");
    EXPECT_EQ(sim::readFile(bundle), "someone's\n");
}

using Member = std::tuple<std::string, UstarWriter::Type, std::size_t>;  // path, type, size

std::string archiveOf(const std::string& path, const std::vector<Member>& members)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    UstarWriter writer(fd);
    for (const auto& [name, type, size] : members)
        writer.add(name, type, std::vector<uint8_t>(size, 'x'), 0, type == UstarWriter::Type::SymbolicLink ? "x" : "");
    writer.finish();
    close(fd);
    return path;
}

TEST(Collect, every_bad_bundle_is_refused_whole)
{
    TestBoard board;
    using T = UstarWriter::Type;
    const Member good = {"tmp/initlog", T::File, 380};
    auto corrupt = [](std::size_t offset) {
        return [offset](const std::string& path) {
            std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
            file.seekp(static_cast<std::streamoff>(offset));
            file.put('7');
        };
    };
    auto cut = [](std::size_t size) { return [size](const std::string& path) { fs::resize_file(path, size); }; };
    struct BadArchive {
        const char* what;
        std::vector<Member> members;
        std::function<void(const std::string&)> spoil;
        std::string reason;
    } const cases[] = {
        {"broken member", {good, good}, corrupt(1024 + 148), "broken archive at member 2: Damaged tar archive"},
        {"truncated", {good, good}, cut(1024 + 512 + 100), "broken archive at member 2: Truncated tar archive"},
        {"parent", {good, {"tmp/../../x", T::File, 1}}, {}, "member 'tmp/../../x': a path leaving the archive's root"},
        {"absolute", {{"/etc/x", T::File, 1}}, {}, "member '/etc/x': a path leaving the archive's root"},
        {"symbolic link", {{"tmp/initlog", T::SymbolicLink, 0}}, {}, "member 'tmp/initlog': a link, not followed"},
        {"oversized", {{"tmp/x", T::File, 4 * 1024 * 1024 + 1}}, {}, "member 'tmp/x': 4194305 bytes, more than 4194304"},
        {"too many", std::vector<Member>(20001, {"tmp/", T::Directory, 0}), {}, "more than 20000 members"},
    };
    for (const BadArchive& bad : cases) {
        std::string archive = archiveOf(board->path("bad.tar"), bad.members);
        if (bad.spoil)
            bad.spoil(archive);
        for (const auto& args : std::vector<std::vector<std::string>>{{archive}, {"--check", archive}}) {
            ProcessResult result = runDecode(args);
            EXPECT_EQ(result.status, 1) << bad.what;
            EXPECT_EQ(result.out, "") << bad.what;
            EXPECT_EQ(result.err, "mmb-decode: " + archive + ": " + bad.reason + "\n") << bad.what;
        }
    }
}

} // namespace
