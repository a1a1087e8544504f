#include "RecordPrinter.h"

#include <algorithm>

namespace {

constexpr std::size_t INDENT = 2;  // per level of nesting

void appendValue(std::string& out, const std::string& text, std::size_t column)
{
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        out += text.substr(start, end - start) + "\n" + std::string(column, ' ');
        start = end + 1;
    }
    out += text.substr(start) + "\n";
}

void appendFields(std::string& out, const std::vector<DecodedField>& fields, std::size_t indent)
{
    std::size_t width = 0;
    for (const DecodedField& field : fields)
        width = std::max(width, field.name.size());
    for (const DecodedField& field : fields) {
        out += std::string(indent, ' ') + field.name;
        if (!field.fields.empty()) {
            out += ":\n";
            appendFields(out, field.fields, indent + INDENT);
            continue;
        }
        out += std::string(width - field.name.size(), ' ') + " = ";
        appendValue(out, field.text, indent + width + 3);
    }
}

} // namespace

std::string recordText(const std::string& source, RecordForm form, const DecodedRecord& record)
{
    std::string out = escapedText(source) + ": " + formTitle(form) + "\n";
    appendFields(out, record.fields(), INDENT);
    return out;
}

std::string recordJson(const std::string& source, RecordForm form, const DecodedRecord& record)
{
    std::string header = jsonString("file") + ":" + jsonString(source) + "," + jsonString("form") + ":" +
                         jsonString(formName(form));
    return jsonObject(record.fields(), header) + "\n";
}

std::string skippedText(const std::string& source, const std::string& reason)
{
    return escapedText(source) + ": skipped\n  reason = " + escapedText(reason) + "\n";
}

std::string skippedJson(const std::string& source, const std::string& reason)
{
    return "{\"file\":" + jsonString(source) + ",\"form\":\"skipped\",\"reason\":" + jsonString(reason) + "}\n";
}
