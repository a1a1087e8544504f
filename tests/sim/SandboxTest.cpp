// Programs on a simulated board: its own file tree, the simulated tools,
// and nothing changed on the host.
#include "InitScripts.h"
#include "Process.h"
#include "TestBoard.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string hostState(const std::string& path)
{
    std::error_code error;
    fs::file_status status = fs::symlink_status(path, error);
    if (!fs::exists(status))
        return "absent";
    if (fs::is_regular_file(status))
        return "file:" + std::to_string(fs::file_size(path)) + ":" +
               std::to_string(fs::last_write_time(path).time_since_epoch().count());
    return fs::is_directory(status) ? "directory" : "other";
}

TEST(Sandbox, board_programs_change_the_board_and_never_the_host)
{
    TestBoard board;
    std::string tag = "mmbsim-isolation-" + std::to_string(getpid());
    const std::vector<std::string> hostPaths = {
        "/tmp/" + tag, "/var/mmb", "/etc/mmb", "/etc/sysconfig", "/opt/mmb", "/mnt/dump", "/mnt/mmb",
        "/tmp/nvrwork", "/usr/sbin/reboot", "/usr/sbin/mkfs.ext3", "/usr/bin/mount",
    };
    std::vector<std::string> before;
    for (const std::string& path : hostPaths)
        before.push_back(hostState(path));

    ProcessResult result = shellOnBoard(*board,
        "touch /tmp/" + tag + " /var/mmb/log/init/1.000 /etc/mmb/init/pro_file.ctl /opt/mmb/bin/d /mnt/dump/x && "
        "echo MMBID=0 > /etc/sysconfig/mmbid && /sbin/reboot && /usr/sbin/flash_eraseall /dev/mtd1 && "
        "mkdir -p /tmp/nvrwork && /bin/mount -t jffs2 /dev/mtdblock1 /tmp/nvrwork && "
        "/bin/umount /mnt/fs1 && /sbin/mkfs.ext3 /dev/sda2 && "
        "if touch /root/" + tag + " 2>/dev/null; then echo host-writable; fi");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "");

    for (std::size_t i = 0; i < hostPaths.size(); ++i)
        EXPECT_EQ(hostState(hostPaths[i]), before[i]) << hostPaths[i];
    EXPECT_FALSE(fs::exists("/root/" + tag));
    for (const char* path : {"/var/mmb/log/init/1.000", "/etc/mmb/init/pro_file.ctl", "/etc/sysconfig/mmbid"})
        EXPECT_TRUE(fs::exists(board->boardPath(path))) << path;
    EXPECT_TRUE(fs::exists(board->boardPath("/tmp/" + tag)));
    EXPECT_TRUE(fs::is_empty(board->path("hcp1")));
    EXPECT_EQ(sim::readFile(board->path("hw/mtd1")), std::string(sim::SimBoard::NOR_SIZE, '\xff'));
}

struct ToolCase {
    const char* script;
    int status;
    const char* error;  // part of standard error
};

TEST(Sandbox, tools_fail_as_their_real_counterparts_would)
{
    const ToolCase cases[] = {
        {"/bin/mount -t ext3 /dev/mtdblock0 /mnt/hcp", 32, "wrong fs type ext3"},
        {"/bin/mount -t ext3 /dev/sda3 /mnt/hcp", 32, "/dev/sda3: special device does not exist"},
        {"/bin/mount -t jffs2 /dev/mtdblock0 /tmp/none", 32, "/tmp/none: mount point does not exist"},
        {"/bin/umount /tmp/nvrwork", 32, "/tmp/nvrwork: not mounted."},
        {"/sbin/mkfs.ext3 /dev/sda1", 1, "/dev/sda1 is mounted; will not make a filesystem here!"},
        {"/usr/sbin/flash_eraseall /dev/mtd2", 1, "/dev/mtd2: No such file or directory"},
    };
    TestBoard board;
    for (const ToolCase& c : cases) {
        ProcessResult result = shellOnBoard(*board, c.script);
        EXPECT_EQ(result.status, c.status) << c.script;
        EXPECT_NE(result.err.find(c.error), std::string::npos) << c.script << ": " << result.err;
    }
}

TEST(Sandbox, each_tool_records_its_call_and_can_be_told_to_fail)
{
    const std::pair<const char*, const char*> tools[] = {
        {"reboot", "/sbin/reboot"},
        {"mount", "/bin/mount -t ext3 /dev/sda1 /mnt/hcp"},
        {"umount", "/bin/umount /mnt/fs1"},
        {"flash_eraseall", "/usr/sbin/flash_eraseall /dev/mtd1"},
        {"mkfs.ext3", "/sbin/mkfs.ext3 /dev/sda2"},
    };
    TestBoard board;
    for (auto [tool, command] : tools) {
        board->addFault(std::string("tool ") + tool + " 7 times 1");
        EXPECT_EQ(shellOnBoard(*board, command).status, 7) << tool;
    }
    EXPECT_EQ(board->mounts().size(), 2u);  // nothing was mounted or unmounted
    EXPECT_EQ(sim::readFile(board->path("hw/mtd1")), sim::readFile(board->path("hw/mtd0")));
    // A failed call is recorded as well.
    EXPECT_EQ(board->events(), (std::vector<std::string>{"reboot", "mount -t ext3 /dev/sda1 /mnt/hcp", "umount /mnt/fs1",
                                                         "flash_eraseall /dev/mtd1", "mkfs.ext3 /dev/sda2"}));
}

TEST(Sandbox, init_scripts_record_each_call_and_fail_when_told)
{
    TestBoard board;
    board->addFault("script ntpd stop 4");
    ProcessResult result = shellOnBoard(*board,
        "/etc/init.d/ntpd start && /etc/init.d/ldap restart & wait; /etc/init.d/ntpd stop; echo $?; "
        "/etc/init.d/ntpd restart");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "4\n");
    // "a && b &" runs both in the background; wait lets them finish before the stop.
    EXPECT_EQ(sim::initScriptCalls(*board),
              (std::vector<std::string>{"/etc/init.d/ntpd start &", "/etc/init.d/ldap restart &",
                                        "/etc/init.d/ntpd stop", "/etc/init.d/ntpd restart"}));
}

TEST(Sandbox, mounts_outlive_the_program_that_made_them)
{
    TestBoard board;
    ASSERT_EQ(shellOnBoard(*board, "mkdir /tmp/nvrwork && mount -t jffs2 /dev/mtdblock1 /tmp/nvrwork").status, 0);
    ProcessResult later = shellOnBoard(*board, "cat /tmp/nvrwork/opt/mmb/version.dat");
    EXPECT_EQ(later.out, "REVISION=V01L01\n");
    ASSERT_EQ(shellOnBoard(*board, "umount /tmp/nvrwork").status, 0);
    EXPECT_EQ(shellOnBoard(*board, "ls /tmp/nvrwork").out, "");
}

// A local user of the board, for the attacks root must withstand: no
// capability left, and the board's /tmp open to it but sticky.
TEST(Sandbox, a_local_user_plants_in_tmp_and_nowhere_else)
{
    TestBoard board;
    sim::writeFile(board->boardPath("/tmp/roots"), "");
    ProcessResult result = shellOnBoard(*board,
                                        "id -u; grep CapEff /proc/self/status; touch /tmp/mine && stat -c %U /tmp/mine; "
                                        "rm -f /tmp/roots; touch /var/mmb/fmem/x",
                                        "nobody");
    EXPECT_EQ(result.out, "65534\nCapEff:\t0000000000000000\nnobody\n");
    EXPECT_NE(result.status, 0);
    EXPECT_TRUE(fs::exists(board->boardPath("/tmp/roots")));
    EXPECT_FALSE(fs::exists(board->boardPath("/var/mmb/fmem/x")));
}

} // namespace
