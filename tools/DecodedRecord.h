// A record decoded for output: its fields in layout order, each with the
// text a person reads and the JSON value a script reads.
#ifndef DECODED_RECORD_H
#define DECODED_RECORD_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct DecodedField {
    std::string name;                  // the library's name of the field
    std::string text;                  // for a person; line feeds only in multi-line texts
    std::string json;                  // a JSON value
    std::string meaning;               // what the value means, for a script as "<name>Meaning"
    std::vector<DecodedField> fields;  // a record held inside this one (the down log)
};

class DecodedRecord {
public:
    // A number; meaning, when given, follows it in parentheses for a person.
    void addNumber(const std::string& name, long long value, const std::string& meaning = "");
    // A byte or word shown in hexadecimal to a person, a number to a script.
    void addHex(const std::string& name, unsigned value, int digits, const std::string& meaning = "");
    // Stored characters, shown with unprintable bytes escaped; line feeds are
    // kept for a person when keepLines is set.
    void addText(const std::string& name, const std::string& raw, bool keepLines = false);
    // Bytes, "04 01 00" for a person and an array of numbers for a script.
    void addBytes(const std::string& name, const uint8_t* bytes, std::size_t count);
    // Any other field: both forms given, and its meaning when the JSON value
    // does not carry what the text says.
    void addField(const std::string& name, const std::string& text, const std::string& json,
                  const std::string& meaning = "");
    void addRecord(const std::string& name, const DecodedRecord& inner);

    const std::vector<DecodedField>& fields() const { return fields_; }

private:
    std::vector<DecodedField> fields_;
};

// Raw bytes for a person: unprintable bytes and backslashes as \xNN.
std::string escapedText(const std::string& raw);
// A JSON string literal of raw bytes; bytes outside printable ASCII become \u00XX.
std::string jsonString(const std::string& raw);
// The JSON object of fields after the members already given, each field's
// meaning beside it as "<name>Meaning".
std::string jsonObject(const std::vector<DecodedField>& fields, std::string members = "");

#endif
