// One run of the decoder over the inputs named on its command line: tells
// each file's form, decodes and prints it, or judges a board's tree
// (--check), or tells their events (--timeline), or the tree a bundle
// holds; reports on standard error what cannot be decoded.
#ifndef DECODE_RUN_H
#define DECODE_RUN_H

#include "BoardItem.h"
#include "BoardTree.h"
#include "HealthCheck.h"
#include "InputFile.h"
#include "RecordForm.h"
#include "TimelineEvent.h"

#include <cstdint>
#include <string>
#include <vector>

class DecodeRun {
public:
    struct Options {
        bool json = false;       // one JSON object per record instead of text
        bool formGiven = false;  // every file is read as form, not told from its name and content
        RecordForm form = RecordForm::Partition;
        bool check = false;      // the health verdict on a board's tree instead of its records
        bool timeline = false;   // the events of one or two boards' trees, oldest first
        std::string page;        // the timeline written as a page to this file, not printed
    };

    explicit DecodeRun(const Options& options) : options_(options) {}

    // A file, a device, a folder of records or a board's tree.
    void decodePath(const std::string& path);
    // True when every input was decoded.
    bool decodedAll() const { return decodedAll_; }
    // The verdict after checkPath, printed.
    HealthCheck::Level checkPath(const std::string& path);
    // The merged timeline of the boards' trees or bundles, printed.
    void printTimeline(const std::vector<std::string>& paths);

private:
    void decodeBundle(const std::string& path);
    void walkBundle(const std::string& path, const BoardTree::Visit& visit);
    void walkTree(const std::string& path, const BoardTree::Visit& visit);
    void decodeDirectory(const std::string& path, InputFile& input);
    void show(const BoardItem& item);
    void writePage(const std::vector<TimelineEvent>& events);
    void printVerdict(const std::vector<HealthCheck::Reason>& reasons);
    void report(const std::string& path, const std::string& problem);

    Options options_;
    bool decodedAll_ = true;
    bool printedOne_ = false;
};

#endif
