// mmb-collect: writes what the board keeps into one archive (a support
// bundle) that mmb-decode reads as the board's tree. It reads only, and
// works on a board in any state: what is missing is named in the bundle's
// manifest. Exit status 0 when the bundle was written, 1 when it could not
// be, 2 for a bad command line.
#include "BundleCollector.h"
#include "OutputFile.h"
#include "UstarWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <getopt.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int EXIT_NOT_WRITTEN = 1;
constexpr int EXIT_USAGE = 2;

const char* const USAGE =
    "usage: mmb-collect [--force] -o FILE\n"
    "Writes what the board keeps (NVRAM partitions, error log records, down-info\n"
    "and backtrace files, markers, the start-up record, process tables, firmware\n"
    "revisions, traces, the history) into one tar archive for mmb-decode.\n"
    "  -o, --output FILE  the archive, created with mode 0600\n"
    "  -f, --force        replace FILE when it is a file of this user\n"
    "  -h, --help         this text\n";

struct Options {
    std::string output;
    bool force = false;
};

int usageError(const std::string& problem)
{
    fprintf(stderr, "mmb-collect: %s\n%s", problem.c_str(), USAGE);
    return EXIT_USAGE;
}

// -1 when the command line is good, else the exit status.
int parseOptions(int argc, char** argv, Options& options)
{
    static const option LONG_OPTIONS[] = {
        {"output", required_argument, nullptr, 'o'},
        {"force", no_argument, nullptr, 'f'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0;
    for (int letter; (letter = getopt_long(argc, argv, ":o:fh", LONG_OPTIONS, nullptr)) != -1;) {
        if (letter == 'o') {
            options.output = optarg;
        } else if (letter == 'f') {
            options.force = true;
        } else if (letter == 'h') {
            fputs(USAGE, stdout);
            return 0;
        } else {
            std::string option = optopt != 0 ? std::string("-") + static_cast<char>(optopt) : argv[optind - 1];
            return usageError((letter == ':' ? "missing the argument of " : "unknown option ") + option);
        }
    }
    if (optind < argc)
        return usageError(std::string("unexpected argument '") + argv[optind] + "'");
    if (options.output.empty())
        return usageError("no archive named (-o FILE)");
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    int status = parseOptions(argc, argv, options);
    if (status >= 0)
        return status;
    std::string problem;
    int fd = openOutputFile(options.output, options.force, 0600, " (--force replaces it)", problem);
    if (fd < 0) {
        fprintf(stderr, "mmb-collect: %s: %s\n", options.output.c_str(), problem.c_str());
        return EXIT_NOT_WRITTEN;
    }
    struct stat own;
    fstat(fd, &own);
    UstarWriter writer(fd);
    bool written = BundleCollector(writer, own.st_dev, own.st_ino).collect() && fsync(fd) == 0;
    int error = errno;
    if (close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written) {
        fprintf(stderr, "mmb-collect: %s: cannot write: %s: the archive is incomplete\n", options.output.c_str(),
                std::strerror(error));
        return EXIT_NOT_WRITTEN;
    }
    return 0;
}
