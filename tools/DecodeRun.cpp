#include "DecodeRun.h"

#include "BoardTree.h"
#include "BundleReader.h"
#include "OutputFile.h"
#include "RecordPrinter.h"
#include "Timeline.h"
#include "TimelineLine.h"
#include "TimelinePage.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

std::string nameOf(const std::string& path)
{
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string joined(const std::string& folder, const std::string& name)
{
    return folder + (folder.back() == '/' ? "" : "/") + name;
}

// The tree "/" shows its files as "/dev/mram0".
std::string withoutSlash(std::string path)
{
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    return path;
}

} // namespace

void DecodeRun::decodePath(const std::string& path)
{
    InputFile input;
    std::string problem;
    FormChoice choice;
    choice.given = options_.formGiven;
    choice.form = options_.form;
    if (BundleReader::isBundle(path))
        decodeBundle(path);
    else if (!readInputFile(path, input, problem))
        report(path, problem);
    else if (input.directory)
        decodeDirectory(path, input);
    else
        show(identifyFile(path, nameOf(path), std::move(input.bytes), choice));
    closeInput(input);
}

// A board's tree is read by its board paths; any other folder file by file,
// each told by its name and content.
void DecodeRun::decodeDirectory(const std::string& path, InputFile& input)
{
    auto visit = [this](const BoardItem& item) { show(item); };
    if (BoardTree::isTree(input.entries)) {
        if (options_.formGiven)
            report(path, "a board's tree: each file's form is told from its path, not given");
        else
            BoardTree(withoutSlash(path), input.fd).walk(visit);
        return;
    }
    FormChoice choice;
    choice.given = options_.formGiven;
    choice.form = options_.form;
    choice.skipUnknown = true;
    for (const std::string& entry : input.entries) {
        BoardItem item;
        if (BoardTree::readItem(input.fd, joined(path, entry), entry, choice, item))
            show(item);
    }
}

void DecodeRun::decodeBundle(const std::string& path)
{
    if (options_.formGiven)
        report(path, "a bundle: each file's form is told from its path, not given");
    else
        walkBundle(path, [this](const BoardItem& item) { show(item); });
}

// A bundle refused as a whole shows none of its files.
void DecodeRun::walkBundle(const std::string& path, const BoardTree::Visit& visit)
{
    BundleReader bundle;
    std::string problem;
    if (bundle.read(path, problem))
        bundle.walk(path, visit);
    else
        report(path, problem);
}

void DecodeRun::show(const BoardItem& item)
{
    if (item.outcome == BoardItem::Outcome::Refused) {
        report(item.source, item.reason);
        return;
    }
    if (options_.json) {
        fputs((item.outcome == BoardItem::Outcome::Skipped ? skippedJson(item.source, item.reason)
                                                           : recordJson(item.source, item.form, item.record))
                  .c_str(),
              stdout);
    } else {
        fputs(printedOne_ ? "\n" : "", stdout);
        fputs((item.outcome == BoardItem::Outcome::Skipped ? skippedText(item.source, item.reason)
                                                           : recordText(item.source, item.form, item.record))
                  .c_str(),
              stdout);
    }
    printedOne_ = true;
}

// A board's tree (a folder holding the board's top folders) or a bundle of one.
void DecodeRun::walkTree(const std::string& path, const BoardTree::Visit& visit)
{
    InputFile input;
    std::string problem;
    if (BundleReader::isBundle(path))
        walkBundle(path, visit);
    else if (!readInputFile(path, input, problem))
        report(path, problem);
    else if (!input.directory || !BoardTree::isTree(input.entries))
        report(path, "not a board's tree: it holds none of dev, var, tmp, mnt and etc");
    else
        BoardTree(withoutSlash(path), input.fd).walk(visit);
    closeInput(input);
}

HealthCheck::Level DecodeRun::checkPath(const std::string& path)
{
    HealthCheck check;
    walkTree(path, [&check](const BoardItem& item) { check.add(item); });
    if (!decodedAll_)
        return HealthCheck::Level::Ok;
    std::vector<HealthCheck::Reason> reasons = check.reasons();
    printVerdict(reasons);
    return HealthCheck::verdictOf(reasons);
}

// A file of the tree that cannot be read is reported; the events of the
// others are still told.
void DecodeRun::printTimeline(const std::vector<std::string>& paths)
{
    Timeline timeline;
    for (const std::string& path : paths) {
        TimelineBoard board;
        walkTree(path, [this, &board](const BoardItem& item) {
            if (item.outcome == BoardItem::Outcome::Refused)
                report(item.source, item.reason);
            else
                board.add(item);
        });
        timeline.addBoard(board);
    }
    if (!options_.page.empty()) {
        writePage(timeline.events());
        return;
    }
    for (const TimelineEvent& event : timeline.events())
        fputs((options_.json ? timelineJson(event) : timelineText(event)).c_str(), stdout);
}

// Written anew each time, but never through a link or over another's file.
void DecodeRun::writePage(const std::vector<TimelineEvent>& events)
{
    std::string problem;
    int fd = openOutputFile(options_.page, true, 0644, "", problem);
    FILE* page = fd >= 0 ? fdopen(fd, "w") : nullptr;
    if (page == nullptr) {
        if (fd >= 0) {
            problem = std::strerror(errno);
            close(fd);
        }
        report(options_.page, problem);
        return;
    }
    bool written = TimelinePage(events).write(page);
    int error = errno;
    if (fclose(page) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written)
        report(options_.page, std::string("cannot write the page: ") + std::strerror(error));
}

void DecodeRun::printVerdict(const std::vector<HealthCheck::Reason>& reasons)
{
    const char* verdict = HealthCheck::levelName(HealthCheck::verdictOf(reasons));
    if (options_.json) {
        std::string members;
        for (const HealthCheck::Reason& reason : reasons)
            members += std::string(members.empty() ? "" : ",") + "{\"level\":" +
                       jsonString(HealthCheck::levelName(reason.level)) + ",\"reason\":" + jsonString(reason.text) +
                       "}";
        printf("{\"health\":%s,\"reasons\":[%s]}\n", jsonString(verdict).c_str(), members.c_str());
        return;
    }
    printf("health: %s\n", verdict);
    for (const HealthCheck::Reason& reason : reasons)
        printf("%s: %s\n", HealthCheck::levelName(reason.level), escapedText(reason.text).c_str());
}

void DecodeRun::report(const std::string& path, const std::string& problem)
{
    fflush(stdout);  // keeps the report after the records printed before it
    fprintf(stderr, "mmb-decode: %s: %s\n", escapedText(path).c_str(), escapedText(problem).c_str());
    decodedAll_ = false;
}
