#include "InitLocalTrace.h"
#include "InitTraceHandler.h"
#include "ShellCommand.h"

#include "DebugRoot.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <sys/wait.h>

namespace {

const std::string& root = debugRoot();  // every command works inside it
[[maybe_unused]] ::testing::Environment* const shellRoot = ::testing::AddGlobalTestEnvironment(new DebugRoot);

std::string inRoot(const std::string& name)
{
    return root + "/" + name;
}

struct Runner {
    const char* name;
    int (*run)(const char* format, ...);
};
const Runner returningRunners[] = {{"execCommandNoDown", execCommandNoDown},
                                   {"execCommand_retExitCode", execCommand_retExitCode}};

// A command of exactly length characters that creates marker when it runs.
std::string touchCommand(const std::string& marker, size_t length)
{
    std::string command = "touch " + marker + " #";
    return command + std::string(length - command.size(), 'x');
}

// A signal is no exit code: execCommand, which exits on any exit code but
// 0, gives the raw result.
TEST(ShellCommand, runners_give_the_exit_status_or_the_raw_result_of_a_signal)
{
    const std::pair<const char*, int> cases[] = {{"exit 0", 0}, {"exit 7", 7}, {"exit 255", 255}, {"kill -KILL $$", 0}};
    for (const Runner& runner : returningRunners)
        for (const auto& [command, status] : cases)
            EXPECT_EQ(runner.run("%s", command), status) << runner.name << ": " << command;
    EXPECT_EQ(execCommand("exit 0"), 0);
    int raw = execCommand("kill -KILL $$");
    EXPECT_TRUE(WIFSIGNALED(raw) && WTERMSIG(raw) == SIGKILL) << raw;
}

TEST(ShellCommand, command_of_256_characters_is_refused_not_cut)
{
    const std::string marker = inRoot("ran");
    EXPECT_EQ(execCommandNoDown("%s", touchCommand(marker, 255).c_str()), 0);
    EXPECT_TRUE(std::filesystem::remove(marker)) << "255 characters still run";
    for (const Runner& runner : returningRunners)
        for (size_t length : {256, 400}) {
            EXPECT_EQ(runner.run("%s", touchCommand(marker, length).c_str()), COMMAND_NOT_RUN) << runner.name;
            EXPECT_FALSE(std::filesystem::exists(marker)) << runner.name << " ran " << length << " characters";
        }
}

TEST(ShellCommandDeathTest, execCommand_exits_on_an_over_long_command)
{
    const std::string marker = inRoot("ran");
    EXPECT_EXIT(execCommand("%s", touchCommand(marker, 256).c_str()), ::testing::ExitedWithCode(1), "");
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST(ShellCommandDeathTest, execCommand_traces_the_failure_and_exits_with_1)
{
    EXPECT_EXIT(
        {
            // The dying child keeps its traces in a local file for the parent to read.
            InitTraceHandler::getInstance()->traceId = 0;
            InitLocalTrace* local = InitLocalTrace::getInstance();
            local->fileName = "/failed.trace";
            local->lineCount = 0;
            execCommand("exit %d", 3);
        },
        ::testing::ExitedWithCode(1), "");

    std::ifstream in(inRoot("failed.trace"));
    const std::string traced((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(std::regex_match(traced, std::regex(R"(DBG# 20001 "exit 3"\(sec=[0-9]+\)\n)"
                                                    R"(RUN# 20011 exit 3\(sec=[0-9]+\)\n)")))
        << traced;
}

} // namespace
