#include "InitBuildResource.h"

#include <exception>
#include <fstream>

namespace {

// The field strings of one line, released also when generateParam throws.
class LineFields {
public:
    LineFields() = default;
    LineFields(const LineFields&) = delete;
    LineFields& operator=(const LineFields&) = delete;
    ~LineFields() { clear(); }

    void clear()
    {
        for (std::string* field : items)
            delete field;
        items.clear();
    }

    std::vector<std::string*> items;
};

} // namespace

InitBuildResource::InitBuildResource(const char* file, char fieldSeparator)
    : resourceFile(file), separator(fieldSeparator)
{
}

int InitBuildResource::checkComment(const std::string& line)
{
    return line.empty() || line[0] == '#' || line[0] == '\n' ? 1 : 0;
}

int InitBuildResource::checkFileEnd(const std::string&)
{
    return 0;
}

int InitBuildResource::checkFileName(const std::string&)
{
    return 0;
}

void InitBuildResource::create()
{
    std::ifstream file;
    try {
        file.open(resourceFile);
    } catch (const std::exception&) {
        return;  // the stream could not even be set up: nothing to read
    }
    std::string line;
    LineFields fields;
    while (std::getline(file, line)) {
        int result = parceOneLine(line, fields.items);
        if (result < 0)
            break;
        if (result > 0) {
            generateParam(fields.items);
            createOneItem();
        }
        fields.clear();
    }
}

int InitBuildResource::parceOneLine(const std::string& line, std::vector<std::string*>& fields)
{
    if (checkComment(line))
        return 0;  // tested first: in this base class a "#END" line is a comment
    if (checkFileEnd(line))
        return -1;
    size_t position = 0;
    for (size_t found; (found = line.find(separator, position)) != std::string::npos; position = found + 1)
        fields.push_back(new std::string(line, position, found - position));
    fields.push_back(new std::string(line, position));  // empty after a trailing separator
    return static_cast<int>(fields.size());
}
