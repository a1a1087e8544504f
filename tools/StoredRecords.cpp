#include "StoredRecords.h"

#include "BoardFileName.h"
#include "InitMMBFirm.h"
#include "NvramLayout.h"

#include <cstdio>
#include <cstring>

InitErrorLog errorLogOf(const uint8_t* data)
{
    InitErrorLog record(0, 0, 0, 0, 0, 0, 0, 0);  // unpack replaces every field, its time stamp too
    record.unpack(data);
    return record;
}

std::string codeText(const InitErrorLog& record)
{
    std::string code;
    for (uint8_t byte : record.code) {
        char hex[4];
        snprintf(hex, sizeof hex, "%02X", byte);
        code += (code.empty() ? "" : " ") + std::string(hex);
    }
    return code;
}

uint32_t secondsOf(const InitErrorLog& record)
{
    return static_cast<uint32_t>(record.time.seconds);
}

bool isDeathReboot(const InitErrorLog& record)
{
    return record.code[0] == recordcode::PROCESS_SUPERVISION && record.code[2] == recordcode::REBOOT_PATH;
}

bool isRollBack(const InitErrorLog& record)
{
    return record.code[0] == recordcode::FIRMWARE_BOOKKEEPING && (record.code[1] & recordcode::ROLLED_BACK) != 0;
}

std::optional<InitErrorLog> downLogOf(const std::vector<uint8_t>& partition)
{
    if (partition.size() < PARTITION_MIN_SIZE || identificationOf(partition.data() + nvram::ID_OFFSET) != "valid")
        return std::nullopt;
    struct InitMMBFirm::initError areas = {};
    areas.unpackDownLogArea(partition.data() + nvram::DOWN_LOG_OFFSET);
    if (areas.downLogFlag != 1)
        return std::nullopt;
    return errorLogOf(areas.downLog);
}

bool deathOf(const BoardItem& item, DownInfoDeath& death)
{
    if (item.outcome != BoardItem::Outcome::Decoded || item.form != RecordForm::DownInfo)
        return false;
    const char* chars = reinterpret_cast<const char*>(item.bytes.data());
    std::string text(chars, strnlen(chars, item.bytes.size()));
    return secondsOfFileName(item.name, death.seconds) && parseDeath(text.substr(0, text.find('\n')), death.death);
}
