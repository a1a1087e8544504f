#include "TestBoard.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

std::string testBoardDirectory(const std::string& suffix)
{
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "." + test->name() + suffix;
    for (char& c : name)
        if (c == '/')
            c = '_';
    std::string directory = std::string(MMB_TEST_BOARDS) + "/" + name;
    std::filesystem::remove_all(directory);
    std::filesystem::create_directories(MMB_TEST_BOARDS);
    return directory;
}

} // namespace

TestBoard::TestBoard(const sim::SimBoard::Options& options, const std::string& suffix)
    : board_(sim::SimBoard::create(testBoardDirectory(suffix), options))
{
}

TestBoard::~TestBoard()
{
    try {
        board_.stopPrograms();
    } catch (const std::exception& error) {
        ADD_FAILURE() << error.what();
    }
}

void TestBoard::useInProcess() const
{
    setenv("MMBSIM_BOARD", board_.directory().c_str(), 1);
}
