// The simulated trace service receives what the board's trace client sends.
#include "Process.h"
#include "mmbtrace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

TEST(TraceService, prints_each_line_with_its_level_and_id)
{
    char dir[] = "/tmp/mmbtrace.XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    fs::create_directories(std::string(dir) + "/var/mmb/sock");
    setenv("MMB_DEBUG_PATH", dir, 1);
    std::string service = std::string(MMB_BIN_DIR) + "/mmb-trace-service 2";
    FILE* out = popen(service.c_str(), "r");
    ASSERT_NE(out, nullptr);
    std::string socket = std::string(dir) + "/var/mmb/sock/ipcsock04";
    ASSERT_TRUE(waitUntil([&socket] { return fs::exists(socket); }));

    const unsigned char live[4] = {1, 0, 0x01, 0x01};
    const unsigned char replayed[4] = {1, 0, 0x01, 0x00};
    EXPECT_EQ(putMmbTrace(200, replayed, "20001 first"), 0);
    EXPECT_EQ(putMmbTrace(0, live, "20011 second 5"), 0);
    char line[256];
    std::string received;
    while (fgets(line, sizeof line, out) != nullptr)
        received += line;
    EXPECT_EQ(pclose(out), 0);
    EXPECT_EQ(received, "level=200 id=256 20001 first\nlevel=0 id=257 20011 second 5\n");
    unsetenv("MMB_DEBUG_PATH");
    fs::remove_all(dir);
}
