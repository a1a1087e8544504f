#include "BoardItem.h"

#include "BoardFileName.h"
#include "RecordDecoder.h"

#include <utility>

namespace {

BoardItem itemOf(const std::string& source, const std::string& name, const FormChoice& choice)
{
    BoardItem item;
    item.source = source;
    item.boardPath = choice.folder + name;
    item.name = name;
    return item;
}

bool knownName(const std::string& name, const FormChoice& choice, RecordForm& form)
{
    return boardFileForm(choice.inTree ? choice.folder : "", name, form);
}

} // namespace

BoardItem identifyFile(const std::string& source, const std::string& name, std::vector<uint8_t> bytes,
                       const FormChoice& choice)
{
    BoardItem item = itemOf(source, name, choice);
    item.bytes = std::move(bytes);
    const uint8_t* data = item.bytes.data();
    std::size_t size = item.bytes.size();
    bool named = !choice.given && knownName(name, choice, item.form);
    if (choice.given)
        item.form = choice.form;
    if (choice.given || named) {
        item.reason = formProblem(item.form, data, size, named);
    } else if (choice.inTree || !detectForm(data, size, item.form)) {
        item.reason = choice.inTree ? "no known form at this path" : unknownForm(data, size);
        item.outcome = choice.skipUnknown ? BoardItem::Outcome::Skipped : BoardItem::Outcome::Refused;
        return item;
    }
    if (!item.reason.empty())
        return item;
    item.outcome = BoardItem::Outcome::Decoded;
    item.record = decodeRecord(item.form, name, data, size);
    return item;
}

BoardItem unreadableFile(const std::string& source, const std::string& name, const std::string& problem,
                         const FormChoice& choice)
{
    BoardItem item = itemOf(source, name, choice);
    item.reason = problem;
    if (!choice.given && choice.skipUnknown && !knownName(name, choice, item.form))
        item.outcome = BoardItem::Outcome::Skipped;
    return item;
}
