// mmb-decode: prints what the board's stored forms hold, for a person or,
// with --json, for a script. Exit status 0 when every input was decoded,
// 1 when one could not be (the others are still printed), 2 for a bad
// command line.
#include "DecodeRun.h"

#include <cstdio>
#include <getopt.h>
#include <string>

namespace {

constexpr int EXIT_UNDECODED = 1;
constexpr int EXIT_USAGE = 2;

const char* const USAGE =
    "usage: mmb-decode [--json] [--form FORM] FILE|DIRECTORY...\n"
    "Prints NVRAM partition 0 images, error log records (a file, or a directory\n"
    "of them), start-up records and down-info files.\n"
    "  -j, --json        one JSON object per record, one per line\n"
    "  -f, --form FORM   read every file as FORM: partition, error-log,\n"
    "                    startup-record or down-info (by default each file's\n"
    "                    form is told from its size and content)\n"
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
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0;  // its complaints would name the program by its whole path
    for (int letter; (letter = getopt_long(argc, argv, ":jf:h", LONG_OPTIONS, nullptr)) != -1;) {
        if (letter == 'j') {
            options.json = true;
        } else if (letter == 'f' && formFromName(optarg, options.form)) {
            options.formGiven = true;
        } else if (letter == 'h') {
            return CommandLine::Help;
        } else {
            return usageError(commandLineError(letter, argv).c_str());
        }
    }
    return optind < argc ? CommandLine::Run : usageError("no file named");
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
    for (int i = optind; i < argc; ++i)
        run.decodePath(argv[i]);
    if (fflush(stdout) != 0) {
        perror("mmb-decode: cannot write the output");
        return EXIT_UNDECODED;
    }
    return run.decodedAll() ? 0 : EXIT_UNDECODED;
}
