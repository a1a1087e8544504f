// mmb-decode: prints what the board's stored forms hold, for a person or,
// with --json, for a script, or with --check the health of a board's tree
// (a folder, or the bundle mmb-collect writes), or with --timeline the
// events of one or two boards' trees, oldest first.
// Exit status 0 when every input was decoded (health OK), 1 when one could
// not be (the others are still printed), 2 for a bad command line, 3 and 4
// for the health verdicts WARN and FAIL.
#include "DecodeRun.h"

#include <cstdio>
#include <getopt.h>
#include <string>
#include <vector>

namespace {

constexpr int EXIT_UNDECODED = 1;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_WARN = 3;
constexpr int EXIT_FAIL = 4;

const char* const USAGE =
    "usage: mmb-decode [--json] [--form FORM] FILE|DIRECTORY|BUNDLE...\n"
    "       mmb-decode [--json] --check TREE|BUNDLE\n"
    "       mmb-decode [--json] --timeline TREE|BUNDLE [TREE|BUNDLE]\n"
    "       mmb-decode --html FILE TREE|BUNDLE [TREE|BUNDLE]\n"
    "Prints what the board stores: NVRAM partition images, error log records,\n"
    "start-up records, down-info files, backtraces, revision files, markers;\n"
    "a file, a folder of them, or a board's tree (a folder holding its dev,\n"
    "var, tmp, mnt, etc) or the bundle mmb-collect wrote of it.\n"
    "  -j, --json        one JSON object per record, one per line\n"
    "  -f, --form FORM   read every file as FORM: partition, partition-1,\n"
    "                    partition-2, partition-3, error-log, startup-record,\n"
    "                    down-info, backtrace, revision-file or marker (by\n"
    "                    default each file's form is told from its name and\n"
    "                    content)\n"
    "  -c, --check       the health of a board's tree or bundle: OK, WARN (exit 3) or\n"
    "                    FAIL (exit 4), and a line per reason\n"
    "  -t, --timeline    the events of one board's tree or bundle, or of both\n"
    "                    boards' merged, one line each, oldest first\n"
    "  -p, --html FILE   the timeline as one self-contained page written to FILE\n"
    "                    (the boards as lanes on a time axis, for a browser)\n"
    "  -h, --help        this text\n";

enum class CommandLine { Run, Help, Bad };

CommandLine usageError(const char* problem)
{
    fprintf(stderr, "mmb-decode: %s\n", problem);
    fputs(USAGE, stderr);
    return CommandLine::Bad;
}

// What getopt_long found wrong, or the unknown form.
std::string commandLineError(int letter, char** argv)
{
    if (letter == 'f')
        return std::string("unknown form '") + optarg + "'";
    // A short option is named by its letter: it may sit in a cluster.
    std::string option = optopt != 0 ? std::string("-") + static_cast<char>(optopt) : argv[optind - 1];
    return (letter == ':' ? "missing the argument of " : "unknown option ") + option;
}

CommandLine parseOptions(int argc, char** argv, DecodeRun::Options& options)
{
    static const option LONG_OPTIONS[] = {
        {"json", no_argument, nullptr, 'j'},
        {"form", required_argument, nullptr, 'f'},
        {"check", no_argument, nullptr, 'c'},
        {"timeline", no_argument, nullptr, 't'},
        {"html", required_argument, nullptr, 'p'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0;  // its complaints would name the program by its whole path
    for (int letter; (letter = getopt_long(argc, argv, ":jf:ctp:h", LONG_OPTIONS, nullptr)) != -1;) {
        if (letter == 'j') {
            options.json = true;
        } else if (letter == 'f' && formFromName(optarg, options.form)) {
            options.formGiven = true;
        } else if (letter == 'c') {
            options.check = true;
        } else if (letter == 't') {
            options.timeline = true;
        } else if (letter == 'p') {
            options.timeline = true;
            options.page = optarg;
        } else if (letter == 'h') {
            return CommandLine::Help;
        } else {
            return usageError(commandLineError(letter, argv).c_str());
        }
    }
    if (optind == argc)
        return usageError("no file named");
    if (options.check && (options.formGiven || options.timeline || argc - optind > 1))
        return usageError("--check takes one board's tree, its forms told from its paths");
    if (!options.page.empty() && options.json)
        return usageError("--html writes a page, not JSON");
    if (options.timeline && (options.formGiven || argc - optind > 2))
        return usageError("--timeline takes one or two boards' trees, their forms told from their paths");
    return CommandLine::Run;
}

} // namespace

int main(int argc, char** argv)
{
    DecodeRun::Options options;
    switch (parseOptions(argc, argv, options)) {
    case CommandLine::Help:
        fputs(USAGE, stdout);
        return 0;
    case CommandLine::Bad:
        return EXIT_USAGE;
    case CommandLine::Run:
        break;
    }
    DecodeRun run(options);
    HealthCheck::Level verdict = options.check ? run.checkPath(argv[optind]) : HealthCheck::Level::Ok;
    if (options.timeline)
        run.printTimeline(std::vector<std::string>(argv + optind, argv + argc));
    for (int i = options.check || options.timeline ? argc : optind; i < argc; ++i)
        run.decodePath(argv[i]);
    if (fflush(stdout) != 0) {
        perror("mmb-decode: cannot write the output");
        return EXIT_UNDECODED;
    }
    if (!run.decodedAll())
        return EXIT_UNDECODED;
    return verdict == HealthCheck::Level::Fail ? EXIT_FAIL : verdict == HealthCheck::Level::Warn ? EXIT_WARN : 0;
}
