#ifndef INIT_BUILD_RESOURCE_H
#define INIT_BUILD_RESOURCE_H

#include <string>
#include <vector>

/// Reads a line-oriented resource file: skips comment lines, stops at an end
/// line, splits every other line into fields at one separator character and
/// hands them to the subclass, which interprets them and builds one item.
class InitBuildResource {
public:
    /// file is not owned and is opened as given (no debug-path prefix).
    InitBuildResource(const char* file, char fieldSeparator);
    InitBuildResource(const InitBuildResource&) = delete;
    InitBuildResource& operator=(const InitBuildResource&) = delete;
    virtual ~InitBuildResource() = default;

    /// Interprets the fields of one data line; may throw InitErrorLog*.
    virtual void generateParam(std::vector<std::string*>& fields) = 0;
    /// Builds one item from what generateParam stored.
    virtual void createOneItem() = 0;
    /// Non-zero for a line to skip: empty, "#..." or starting with a line feed.
    virtual int checkComment(const std::string& line);
    /// Non-zero for the line that ends the file; this base has none.
    virtual int checkFileEnd(const std::string& line);

    /// Reads the whole file. A file that cannot be opened reads as empty;
    /// what generateParam throws ends the reading and leaves here.
    void create();
    /// 0 for a skipped line, -1 for the end line, else the number of fields
    /// appended to fields (each allocated with new; the caller deletes them).
    /// Every separator splits, so no field is trimmed and none is dropped.
    int parceOneLine(const std::string& line, std::vector<std::string*>& fields);
    /// Always 0: this reader accepts any file name.
    int checkFileName(const std::string& name);

    const char* resourceFile;  ///< the file to read, not owned
    char separator;            ///< splits the fields of a data line
};

#endif
