#include "DecodedRecord.h"

#include <cstdio>

namespace {

bool printable(unsigned char c)
{
    return c >= 0x20 && c < 0x7F;
}

std::string personText(const std::string& raw, bool keepLines)
{
    std::string text;
    for (unsigned char c : raw) {
        if (printable(c) && c != '\\') {
            text += static_cast<char>(c);
        } else if (c == '\n' && keepLines) {
            text += '\n';
        } else {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\x%02X", c);
            text += escaped;
        }
    }
    return text;
}

std::string withMeaning(const std::string& value, const std::string& meaning)
{
    return meaning.empty() ? value : value + " (" + meaning + ")";
}

} // namespace

std::string escapedText(const std::string& raw)
{
    return personText(raw, false);
}

std::string jsonString(const std::string& raw)
{
    std::string json = "\"";
    for (unsigned char c : raw) {
        if (c == '"' || c == '\\') {
            json += '\\';
            json += static_cast<char>(c);
        } else if (c == '\n') {
            json += "\\n";
        } else if (printable(c)) {
            json += static_cast<char>(c);
        } else {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04X", c);
            json += escaped;
        }
    }
    return json + "\"";
}

void DecodedRecord::addNumber(const std::string& name, long long value, const std::string& meaning)
{
    addField(name, withMeaning(std::to_string(value), meaning), std::to_string(value), meaning);
}

void DecodedRecord::addHex(const std::string& name, unsigned value, int digits, const std::string& meaning)
{
    char hex[16];
    snprintf(hex, sizeof hex, "0x%0*X", digits, value);
    addField(name, withMeaning(hex, meaning), std::to_string(value), meaning);
}

void DecodedRecord::addText(const std::string& name, const std::string& raw, bool keepLines)
{
    addField(name, personText(raw, keepLines), jsonString(raw));
}

void DecodedRecord::addBytes(const std::string& name, const uint8_t* bytes, std::size_t count)
{
    std::string text;
    std::string json = "[";
    for (std::size_t i = 0; i < count; ++i) {
        char hex[4];
        snprintf(hex, sizeof hex, "%02X", bytes[i]);
        text += (i == 0 ? "" : " ") + std::string(hex);
        json += (i == 0 ? "" : ",") + std::to_string(bytes[i]);
    }
    addField(name, text, json + "]");
}

void DecodedRecord::addField(const std::string& name, const std::string& text, const std::string& json,
                             const std::string& meaning)
{
    fields_.push_back({name, text, json, meaning, {}});
}

void DecodedRecord::addRecord(const std::string& name, const DecodedRecord& inner)
{
    fields_.push_back({name, "", "", "", inner.fields_});
}

std::string jsonObject(const std::vector<DecodedField>& fields, std::string members)
{
    for (const DecodedField& field : fields) {
        members += (members.empty() ? "" : ",") + jsonString(field.name) + ":";
        members += field.fields.empty() ? field.json : jsonObject(field.fields, "");
        if (!field.meaning.empty())
            members += "," + jsonString(field.name + "Meaning") + ":" + jsonString(field.meaning);
    }
    return "{" + members + "}";
}
