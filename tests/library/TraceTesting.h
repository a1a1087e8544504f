// What the trace tests share: the folder every library path lands in, the
// local trace file read back, a stand-in for the board trace service's
// socket, and a fixture that brings the trace singletons back to their
// state at process start.
#ifndef TEST_TRACE_TESTING_H
#define TEST_TRACE_TESTING_H

#include "DebugRoot.h"
#include "InitLocalTrace.h"
#include "InitTraceFile.h"
#include "InitTraceHandler.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

using Lines = std::vector<std::string>;

inline const std::string& root = debugRoot();
constexpr const char* LOCAL_NAME = "/local.trace";

[[maybe_unused]] inline ::testing::Environment* const traceRoot =
    ::testing::AddGlobalTestEnvironment(new DebugRoot({"/var/mmb/sock"}));

// Replaces the seconds of the local file's "(sec=N)" stamp with "*", so
// that lines compare exactly in everything else.
inline std::string stamped(const std::string& line)
{
    return std::regex_replace(line, std::regex(R"(\(sec=[0-9]+\)$)"), "(sec=*)");
}

inline Lines localLines()
{
    Lines lines;
    std::ifstream in(root + LOCAL_NAME);
    for (std::string line; std::getline(in, line);)
        lines.push_back(stamped(line));
    return lines;
}

// Stands in for the board trace service while it lives: binds the socket
// file and reads what was sent as "<service level> <trace id> <text>".
class TraceService {
public:
    TraceService() : path(root + "/var/mmb/sock/ipcsock04"), fd(socket(AF_UNIX, SOCK_DGRAM, 0))
    {
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << path;
    }
    ~TraceService()
    {
        close(fd);
        unlink(path.c_str());
    }

    // The queue holds only a few datagrams before the sender blocks, so
    // callers read after every handful of traces.
    Lines receive()
    {
        Lines got;
        unsigned char buffer[512];
        ssize_t size;
        while ((size = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
            EXPECT_TRUE(size > 5 && buffer[1] == 1 && buffer[2] == 0 && buffer[size - 1] == '\0');
            got.push_back(std::to_string(buffer[0]) + " " + std::to_string(buffer[3] << 8 | buffer[4]) + " " +
                          stamped(reinterpret_cast<const char*>(buffer + 5)));
        }
        return got;
    }

private:
    std::string path;
    int fd;
};

class TraceFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::remove(root + LOCAL_NAME);
        reset(nullptr, 0);
    }

    // Brings the singletons back to their state at process start, then
    // applies what the library's user would set.
    static void reset(const char* fileName, int traceId)
    {
        InitTraceHandler::getInstance()->traceId = traceId;
        InitLocalTrace* local = InitLocalTrace::getInstance();
        local->fileName = fileName;
        local->lineCount = 0;
        local->exported = false;
        InitTraceFile::getInstance()->running = false;
    }
};

#endif
