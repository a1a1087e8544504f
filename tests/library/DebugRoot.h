// A folder of its own under /tmp for one in-process test program: its
// MMB_DEBUG_PATH, so every library path lands inside it. It is named before
// any library call (the trace service keeps the socket path it computes
// first) and removed at the end.
#ifndef TEST_DEBUG_ROOT_H
#define TEST_DEBUG_ROOT_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

// The folder; empty until the environment below is set up.
inline std::string& debugRoot()
{
    static std::string root;
    return root;
}

class DebugRoot : public ::testing::Environment {
public:
    // folders: made inside the root at set-up, each beginning with "/".
    explicit DebugRoot(std::initializer_list<const char*> folders = {}) : folders_(folders) {}

    void SetUp() override
    {
        char name[] = "/tmp/mmbtest.XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        debugRoot() = name;
        setenv("MMB_DEBUG_PATH", name, 1);
        for (const char* folder : folders_)
            std::filesystem::create_directories(debugRoot() + folder);
    }
    void TearDown() override { std::filesystem::remove_all(debugRoot()); }

private:
    std::vector<const char*> folders_;
};

#endif
