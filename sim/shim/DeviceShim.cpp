// Emulates the board's device files in an unchanged program. Loaded with
// LD_PRELOAD, it takes over open/read/write/ioctl/close for /dev/cpld,
// /dev/mram0..3 and the NOR flash devices /dev/mtd0 and /dev/mtd1, backed by
// the files of the board named by MMBSIM_BOARD. Every other call goes
// straight to the C library. It uses the C library only, so that loading it
// into every process on the board costs next to nothing.
#include "board_devices.h"

#include "BoardPaths.h"
#include "BoardPrograms.h"
#include "BoardTime.h"
#include "CpldRegisters.h"
#include "EventLog.h"
#include "FaultTable.h"
#include "MramPartition.h"
#include "SettingsFile.h"
#include "StartTiming.h"
#include "Watchdog.h"

#include <dlfcn.h>
#include <stdint.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/reboot.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

enum class Kind : unsigned char { None, Cpld, Mram };

struct Emulated {
    Kind kind;
    unsigned char partition;
};

constexpr int MAX_FDS = 1024;
Emulated emulated[MAX_FDS];

template <typename F>
F real(F, const char* name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

#define REAL(fn) static auto real_##fn = real(&fn, #fn)

// Which emulated device a path names.
struct Device {
    Kind kind = Kind::None;
    int partition = 0;
    const char* name = nullptr;  // the part after "/dev/"
    bool flash = false;
};

Device classify(const char* path)
{
    Device device;
    if (path == nullptr || strncmp(path, "/dev/", 5) != 0)
        return device;
    const char* name = path + 5;
    if (strcmp(name, "cpld") == 0) {
        device.kind = Kind::Cpld;
    } else if (strncmp(name, "mram", 4) == 0 && name[4] >= '0' && name[4] < '0' + MRAM_PARTITIONS &&
               name[5] == '\0') {
        device.kind = Kind::Mram;
        device.partition = name[4] - '0';
    } else if (strcmp(name, "mtd0") == 0 || strcmp(name, "mtd1") == 0) {
        device.flash = true;
    } else {
        return device;
    }
    device.name = name;
    return device;
}

int fail(int error)
{
    errno = error;
    return -1;
}

bool succeeded(long result)
{
    return result >= 0;
}

bool succeeded(const FILE* stream)
{
    return stream != nullptr;
}

// The emulation does file work of its own; like a real driver call, a call
// that succeeds leaves errno as the program had it.
template <typename Emulation>
auto keepingErrno(Emulation emulate)
{
    int saved = errno;
    auto result = emulate();
    if (succeeded(result))
        errno = saved;
    return result;
}

// Another program wrote the partition since this one last opened it.
void applyConcurrentWrite(const char* board, const Device& device)
{
    char number[4];
    snprintf(number, sizeof number, "%d", device.partition);
    sim::Fault fault;
    if (!sim::FaultTable::consume(board, &fault, "mram-change", number))
        return;
    const char* hex = fault.words[3];
    unsigned char bytes[sim::Fault::WORD_SIZE / 2];
    size_t count = strlen(hex) / 2;
    for (size_t i = 0; i < count; ++i) {
        char pair[3] = {hex[2 * i], hex[2 * i + 1], '\0'};
        bytes[i] = static_cast<unsigned char>(strtoul(pair, nullptr, 16));
    }
    sim::MramPartition(board, device.partition).write(fault.number(2), bytes, count);
}

int openDevice(const Device& device, int flags, mode_t mode, int (*realOpen)(const char*, int, ...))
{
    const char* board = sim::boardFromEnvironment();
    if (board == nullptr)
        return fail(ENOENT);
    sim::Fault fault;
    if (sim::FaultTable::consume(board, &fault, "open", device.name))
        return fail(static_cast<int>(fault.number(2, ENOENT)));

    char path[PATH_MAX];
    bool named = false;
    int backingFlags = flags & ~(O_CREAT | O_TRUNC | O_EXCL);
    if (device.kind == Kind::Cpld) {
        named = sim::boardPath(path, sizeof path, board, "%s", sim::CPLD_FILE);
        backingFlags = O_RDWR | (flags & O_CLOEXEC);  // the driver writes registers on any descriptor
    } else if (device.kind == Kind::Mram) {
        applyConcurrentWrite(board, device);
        named = sim::boardPath(path, sizeof path, board, sim::MRAM_FILE_FORMAT, device.partition);
    } else {
        named = sim::boardPath(path, sizeof path, board, sim::FLASH_FILE_FORMAT, device.name);
    }
    if (!named)
        return fail(ENAMETOOLONG);
    int fd = realOpen(path, backingFlags, mode);
    if (fd < 0 || device.kind == Kind::None)
        return fd;
    if (fd >= MAX_FDS) {
        close(fd);
        return fail(EMFILE);
    }
    emulated[fd] = {device.kind, static_cast<unsigned char>(device.partition)};
    return fd;
}

Emulated* lookup(int fd)
{
    if (fd < 0 || fd >= MAX_FDS || emulated[fd].kind == Kind::None)
        return nullptr;
    return &emulated[fd];
}

// The watchdog error flag (register 0x600 bit 8) is cleared by writing 1
// to it; written as 0 it stays as it is. Every other bit takes the value
// written.
uint16_t registerAsWritten(int fd, uint32_t reg, uint16_t value)
{
    constexpr uint32_t RESET_TYPE_REGISTER = 0x0600;
    constexpr uint16_t WATCHDOG_ERROR = 0x0100;
    uint16_t current = 0;
    if (reg != RESET_TYPE_REGISTER || sim::CpldRegisters::read(fd, reg, current) != 0)
        return value;
    return static_cast<uint16_t>((value & ~WATCHDOG_ERROR) | (current & ~value & WATCHDOG_ERROR));
}

int cpldRequest(unsigned long request, void* argument, int fd)
{
    if (request != CPLD_READ && request != CPLD_WRITE)
        return fail(ENOTTY);
    if (argument == nullptr)
        return fail(EFAULT);
    const char* board = sim::boardFromEnvironment();
    auto* record = static_cast<CpldRequest*>(argument);
    char reg[16];
    snprintf(reg, sizeof reg, "0x%04x", static_cast<unsigned>(record->reg));
    bool reading = request == CPLD_READ;
    sim::Fault fault;
    if (sim::FaultTable::consume(board, &fault, reading ? "cpld-read" : "cpld-write", reg))
        return fail(static_cast<int>(fault.number(2, EIO)));
    int error = reading ? sim::CpldRegisters::read(fd, record->reg, record->value)
                        : sim::CpldRegisters::write(fd, record->reg, registerAsWritten(fd, record->reg, record->value));
    if (error != 0)
        return fail(error);
    if (!reading)
        sim::CpldRegisters::logWrite(board, record->reg, record->value);
    return 0;
}

int mramRequest(unsigned long request, const Emulated& device)
{
    const char* board = sim::boardFromEnvironment();
    sim::logEvent(board, "ioctl /dev/mram%d 0x%08lx", device.partition, request);
    if (request != MRAM_INITIALIZE && request != MRAM_GENERATE_CHECKSUM)
        return fail(ENOTTY);
    bool initializing = request == MRAM_INITIALIZE;
    char number[4];
    snprintf(number, sizeof number, "%d", device.partition);
    sim::Fault fault;
    if (sim::FaultTable::consume(board, &fault, "mram-request", number, initializing ? "init" : "checksum"))
        return fail(static_cast<int>(fault.number(3, EIO)));
    sim::MramPartition partition(board, device.partition);
    int error = initializing ? partition.initialize() : partition.regenerateChecksum();
    return error != 0 ? fail(error) : 0;
}

ssize_t mramWrite(int fd, const Emulated& device, const void* data, size_t length)
{
    if ((fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDONLY)
        return fail(EBADF);
    const char* board = sim::boardFromEnvironment();
    off64_t offset = lseek64(fd, 0, SEEK_CUR);
    char number[4];
    snprintf(number, sizeof number, "%d", device.partition);
    sim::Fault fault;
    bool powerCut = sim::FaultTable::consume(board, &fault, "mram-cut", number);
    size_t keep = powerCut ? static_cast<size_t>(fault.number(2)) : sim::MramPartition::SIZE;
    ssize_t written = sim::MramPartition(board, device.partition).write(offset, data, length, keep);
    if (written < 0)
        return fail(static_cast<int>(-written));
    // A cut no shorter than the write lets it complete: the power goes
    // between this write and the next.
    if (powerCut) {
        sim::logEvent(board, "power-lost /dev/mram%d after %zd bytes", device.partition, written);
        kill(getpid(), SIGKILL);
    }
    lseek64(fd, offset + written, SEEK_SET);
    return written;
}

ssize_t mramRead(int fd, const Emulated& device, void* buffer, size_t length,
                 ssize_t (*realRead)(int, void*, size_t))
{
    if (!sim::MramPartition(sim::boardFromEnvironment(), device.partition).checksumValid())
        return fail(EIO);
    return realRead(fd, buffer, length);
}

mode_t modeArgument(int flags, va_list args)
{
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

int openPath(const char* path, int flags, mode_t mode, int (*realOpen)(const char*, int, ...))
{
    Device device = classify(path);
    if (device.name == nullptr)
        return realOpen(path, flags, mode);
    return keepingErrno([&] { return openDevice(device, flags, mode, realOpen); });
}

int openAtPath(int dirfd, const char* path, int flags, mode_t mode,
               int (*realOpenAt)(int, const char*, int, ...), int (*realOpen)(const char*, int, ...))
{
    Device device = classify(path);
    if (device.name == nullptr)
        return realOpenAt(dirfd, path, flags, mode);
    return keepingErrno([&] { return openDevice(device, flags, mode, realOpen); });
}

int streamFlags(const char* mode)
{
    bool update = strchr(mode, '+') != nullptr;
    switch (mode[0]) {
    case 'r':
        return update ? O_RDWR : O_RDONLY;
    case 'w':
        return (update ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
    case 'a':
        return (update ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
    default:
        return -1;
    }
}

// A program built with 64-bit time calls the C library's 64-bit entry
// points, with these layouts; this file itself is built with the 32-bit
// ones, so that it can take over both.
struct Timeval64 {
    int64_t tv_sec;
    int64_t tv_usec;
};

struct Itimerval64 {
    Timeval64 it_interval;
    Timeval64 it_value;
};

template <typename Timeval>
Timeval scaledTime(Timeval time, long scale)
{
    long long micros = (static_cast<long long>(time.tv_sec) * 1000000 + time.tv_usec) / scale;
    if (micros == 0 && (time.tv_sec != 0 || time.tv_usec != 0))
        micros = 1;  // a timer that was armed stays armed
    return {static_cast<decltype(time.tv_sec)>(micros / 1000000), static_cast<decltype(time.tv_usec)>(micros % 1000000)};
}

// Streams on device files go through this shim's read and write, which
// the C library's own stream code would bypass.
ssize_t streamRead(void* cookie, char* buffer, size_t length)
{
    return read(static_cast<int>(reinterpret_cast<intptr_t>(cookie)), buffer, length);
}

ssize_t streamWrite(void* cookie, const char* data, size_t length)
{
    return write(static_cast<int>(reinterpret_cast<intptr_t>(cookie)), data, length);
}

int streamSeek(void* cookie, off64_t* offset, int whence)
{
    off64_t result = lseek64(static_cast<int>(reinterpret_cast<intptr_t>(cookie)), *offset, whence);
    if (result < 0)
        return -1;
    *offset = result;
    return 0;
}

int streamClose(void* cookie)
{
    return close(static_cast<int>(reinterpret_cast<intptr_t>(cookie)));
}

FILE* openStream(const Device& device, const char* mode)
{
    REAL(open);
    int flags = streamFlags(mode);
    if (flags < 0) {
        errno = EINVAL;
        return nullptr;
    }
    int fd = openDevice(device, flags, 0666, real_open);
    if (fd < 0)
        return nullptr;
    cookie_io_functions_t functions = {streamRead, streamWrite, streamSeek, streamClose};
    FILE* stream = fopencookie(reinterpret_cast<void*>(static_cast<intptr_t>(fd)), mode, functions);
    if (stream == nullptr)
        close(fd);
    return stream;
}

// A sleep on board time, after which the watchdog sees the time passed.
int sleepChecked(const char* board, unsigned seconds)
{
    int left = sim::sleepOnBoard(board, seconds);
    if (left >= 0)
        sim::checkWatchdog(board, sim::boardSeconds(board));
    return left;
}

void copyEntry(int from, int to)
{
    if (to >= 0 && to < MAX_FDS && from != to)
        emulated[to] = (from >= 0 && from < MAX_FDS) ? emulated[from] : Emulated{Kind::None, 0};
}

// A driver request on an emulated device, or the C library's call.
int deviceRequest(int fd, unsigned long request, void* argument, int (*realIoctl)(int, unsigned long, ...))
{
    Emulated* device = lookup(fd);
    if (device == nullptr)
        return realIoctl(fd, request, argument);
    if (device->kind == Kind::Cpld)
        return keepingErrno([&] { return cpldRequest(request, argument, fd); });
    return keepingErrno([&] { return mramRequest(request, *device); });
}

// Children forked since this process last read the board clock: the
// first reading after a fork is the supervisor taking the start time.
pid_t untimedForks[16];
int untimedForkCount = 0;

void markForksTimed(const char* board)
{
    for (int i = 0; i < untimedForkCount; ++i)
        sim::markStartTimed(board, untimedForks[i]);
    untimedForkCount = 0;
}

// With a board clock, each reading returns the board's time and moves it
// on by its step, so a test knows every time stamp. A board second that a
// 32-bit time_t cannot hold fails as the C library's own call does.
template <typename Timeval>
int boardTimeOfDay(Timeval* now, void* zone, int (*realCall)(Timeval*, void*))
{
    int saved = errno;
    long long seconds = 0;
    long long micros = 0;
    const char* board = sim::boardFromEnvironment();
    bool fromBoard = sim::readBoardClock(board, seconds, micros);
    if (fromBoard) {
        sim::checkWatchdog(board, seconds);
        markForksTimed(board);
    }
    errno = saved;
    if (!fromBoard)
        return realCall(now, zone);
    now->tv_sec = static_cast<decltype(now->tv_sec)>(seconds);
    if (now->tv_sec != seconds)
        return fail(EOVERFLOW);
    now->tv_usec = static_cast<decltype(now->tv_usec)>(micros);
    return 0;
}

// A board with a timer scale (hw/timers "scale N": a divisor) runs interval
// timers that much faster, so minutes-long timeouts can be tested. With
// "at-once 1" a real-time timer expires as it is armed: its SIGALRM arrives
// before setitimer returns, the earliest a very short timer can fire; with
// a board clock its whole time passes first, as in a sleep, so the board
// time tells how long the timer was.
template <typename Itimerval>
int boardTimer(int which, const Itimerval* value, Itimerval* old,
               int (*realCall)(int, const Itimerval*, Itimerval*))
{
    int saved = errno;
    const char* board = sim::boardFromEnvironment();
    long scale = sim::getNumberSetting(board, sim::TIMER_FILE, "scale", 1);
    bool atOnce = sim::getNumberSetting(board, sim::TIMER_FILE, "at-once", 0) != 0;
    if (atOnce && which == ITIMER_REAL && value != nullptr && timerisset(&value->it_value)) {
        Itimerval disarmed = {};
        int result = realCall(which, &disarmed, old);
        sleepChecked(board, static_cast<unsigned>(value->it_value.tv_sec));
        errno = saved;
        raise(SIGALRM);
        return result;
    }
    errno = saved;
    if (value == nullptr || scale <= 1)
        return realCall(which, value, old);
    Itimerval scaled = {scaledTime(value->it_interval, scale), scaledTime(value->it_value, scale)};
    return realCall(which, &scaled, old);
}

} // namespace

extern "C" {

int open(const char* path, int flags, ...)
{
    REAL(open);
    va_list args;
    va_start(args, flags);
    mode_t mode = modeArgument(flags, args);
    va_end(args);
    return openPath(path, flags, mode, real_open);
}

int open64(const char* path, int flags, ...)
{
    REAL(open64);
    va_list args;
    va_start(args, flags);
    mode_t mode = modeArgument(flags, args);
    va_end(args);
    return openPath(path, flags, mode, real_open64);
}

int __open_2(const char* path, int flags)
{
    REAL(open);
    return openPath(path, flags, 0, real_open);
}

int __open64_2(const char* path, int flags)
{
    REAL(open64);
    return openPath(path, flags, 0, real_open64);
}

int openat(int dirfd, const char* path, int flags, ...)
{
    REAL(openat);
    REAL(open);
    va_list args;
    va_start(args, flags);
    mode_t mode = modeArgument(flags, args);
    va_end(args);
    return openAtPath(dirfd, path, flags, mode, real_openat, real_open);
}

int openat64(int dirfd, const char* path, int flags, ...)
{
    REAL(openat64);
    REAL(open64);
    va_list args;
    va_start(args, flags);
    mode_t mode = modeArgument(flags, args);
    va_end(args);
    return openAtPath(dirfd, path, flags, mode, real_openat64, real_open64);
}

int __openat_2(int dirfd, const char* path, int flags)
{
    REAL(openat);
    REAL(open);
    return openAtPath(dirfd, path, flags, 0, real_openat, real_open);
}

int __openat64_2(int dirfd, const char* path, int flags)
{
    REAL(openat64);
    REAL(open64);
    return openAtPath(dirfd, path, flags, 0, real_openat64, real_open64);
}

// The C library's fopen opens files without going through open(), so
// streams on device files are opened here and wrapped.
FILE* fopen(const char* path, const char* mode)
{
    REAL(fopen);
    Device device = classify(path);
    if (device.name == nullptr)
        return real_fopen(path, mode);
    return keepingErrno([&] { return openStream(device, mode); });
}

FILE* fopen64(const char* path, const char* mode)
{
    REAL(fopen64);
    Device device = classify(path);
    if (device.name == nullptr)
        return real_fopen64(path, mode);
    return keepingErrno([&] { return openStream(device, mode); });
}

int gettimeofday(struct timeval* now, void* zone)
{
    REAL(gettimeofday);
    return boardTimeOfDay(now, zone, real_gettimeofday);
}

int setitimer(__itimer_which_t which, const struct itimerval* value, struct itimerval* old)
{
    REAL(setitimer);
    return boardTimer(which, value, old, real_setitimer);
}

#if __TIMESIZE == 32
int __gettimeofday64(Timeval64* now, void* zone)
{
    static auto real_gettimeofday64 = real(&__gettimeofday64, "__gettimeofday64");
    return boardTimeOfDay(now, zone, real_gettimeofday64);
}

int __setitimer64(int which, const Itimerval64* value, Itimerval64* old)
{
    static auto real_setitimer64 = real(&__setitimer64, "__setitimer64");
    return boardTimer(which, value, old, real_setitimer64);
}

int __ioctl_time64(int fd, unsigned long request, ...)
{
    static auto real_ioctl64 = real(&__ioctl_time64, "__ioctl_time64");
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);
    return deviceRequest(fd, request, argument, real_ioctl64);
}
#endif

// With a board clock, a sleep passes board time at once, carrying out what
// was scheduled meanwhile; a scheduled signal ends it early.
unsigned sleep(unsigned seconds)
{
    REAL(sleep);
    int saved = errno;
    int left = sleepChecked(sim::boardFromEnvironment(), seconds);
    errno = saved;
    return left < 0 ? real_sleep(seconds) : static_cast<unsigned>(left);
}

// Both ends of a fork are marked for a simulated daemon that must not move
// board time before its supervisor took its start time (StartTiming.h).
pid_t fork()
{
    REAL(fork);
    pid_t child = real_fork();
    int saved = errno;
    const char* board = sim::boardFromEnvironment();
    if (child == 0 && board != nullptr)
        sim::markForked(board);
    else if (child > 0 && board != nullptr && untimedForkCount < static_cast<int>(sizeof untimedForks / sizeof untimedForks[0]))
        untimedForks[untimedForkCount++] = child;
    errno = saved;
    return child;
}

// On a simulated board reboot(2) never reaches the host: the call is
// logged ("reboot(2) 0x01234567"), fails with the errno of the fault
// "reboot-call ERRNO", and otherwise takes the board down as a reset does:
// its programs stop and "mmb-sim reboot" boots it.
int reboot(int command)
{
    int saved = errno;
    const char* board = sim::boardFromEnvironment();
    if (board == nullptr)
        return fail(EPERM);
    sim::logEvent(board, "reboot(2) 0x%08x", static_cast<unsigned>(command));
    sim::Fault fault;
    if (sim::FaultTable::consume(board, &fault, "reboot-call"))
        return fail(static_cast<int>(fault.number(1, EPERM)));
    errno = saved;
    sim::haltBoard(board);
}

// The board's storage is files of the host, which a board program has no
// business flushing: sync is logged ("sync") and done.
void sync()
{
    int saved = errno;
    sim::logEvent(sim::boardFromEnvironment(), "sync");
    errno = saved;
}

int close(int fd)
{
    REAL(close);
    if (fd >= 0 && fd < MAX_FDS)
        emulated[fd] = {Kind::None, 0};
    return real_close(fd);
}

int dup(int fd)
{
    REAL(dup);
    int copy = real_dup(fd);
    copyEntry(fd, copy);
    return copy;
}

int dup2(int fd, int to)
{
    REAL(dup2);
    int copy = real_dup2(fd, to);
    copyEntry(fd, copy);
    return copy;
}

int dup3(int fd, int to, int flags)
{
    REAL(dup3);
    int copy = real_dup3(fd, to, flags);
    copyEntry(fd, copy);
    return copy;
}

ssize_t read(int fd, void* buffer, size_t length)
{
    REAL(read);
    Emulated* device = lookup(fd);
    if (device != nullptr && device->kind == Kind::Mram)
        return keepingErrno([&] { return mramRead(fd, *device, buffer, length, real_read); });
    if (device != nullptr)
        return fail(EINVAL);
    return real_read(fd, buffer, length);
}

ssize_t __read_chk(int fd, void* buffer, size_t length, size_t bufferLength)
{
    if (length > bufferLength)
        abort();  // what the C library's own check does on overflow
    return read(fd, buffer, length);
}

ssize_t write(int fd, const void* data, size_t length)
{
    REAL(write);
    Emulated* device = lookup(fd);
    if (device != nullptr && device->kind == Kind::Mram)
        return keepingErrno([&] { return mramWrite(fd, *device, data, length); });
    if (device != nullptr)
        return fail(EINVAL);
    return real_write(fd, data, length);
}

int ioctl(int fd, unsigned long request, ...)
{
    REAL(ioctl);
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);
    return deviceRequest(fd, request, argument, real_ioctl);
}

} // extern "C"
