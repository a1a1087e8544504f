// Supervises the board's process table with the start-up library's process
// manager, as the board's start-up program does: reads
// /etc/mmb/init/pro_file.ctl, starts its daemons and monitors them until
// something ends supervision. Traces stay off, as in nvram.
// Usage (on a simulated board): bench-supervisor PIDFILE
#include "InitErrorLog.h"
#include "InitMMBFirm.h"
#include "InitMMBProcessMGR.h"

#include <cstdio>
#include <unistd.h>

namespace {

bool writePid(const char* path)
{
    FILE* file = std::fopen(path, "w");
    if (file == nullptr) {
        std::perror(path);
        return false;
    }
    std::fprintf(file, "%d\n", static_cast<int>(getpid()));
    return std::fclose(file) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench-supervisor PIDFILE\n");
        return 2;
    }
    InitMMBFirm::getInstance()->initialize();
    InitMMBProcessMGR* manager = InitMMBProcessMGR::getInstance();
    try {
        manager->activate();
        if (!writePid(argv[1]))
            return 1;
        manager->startMonitoring();
    } catch (InitErrorLog* record) {
        std::printf("supervision ended: error record kind %d\n", record->kind);
        delete record;
    } catch (const char* order) {
        std::printf("supervision ended: %s\n", order);
    }
    return 0;
}
