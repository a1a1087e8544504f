// Catching and printing a record the library threw.
#ifndef TEST_THROWN_RECORD_H
#define TEST_THROWN_RECORD_H

#include "InitErrorLog.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

// How the test drivers print a record the library threw.
inline void printThrownRecord(const InitErrorLog& record)
{
    std::printf("thrown kind=%d unit=%02x codes=%02x %02x %02x %02x %02x %02x\n", record.kind, record.unitCode,
                record.code[0], record.code[1], record.code[2], record.code[3], record.code[4], record.code[5]);
}

// Runs operation; the kind, unit code and six codes of the record it threw,
// or nothing when it threw none.
template <typename Operation>
std::vector<uint8_t> thrownRecord(Operation operation)
{
    try {
        operation();
    } catch (InitErrorLog* thrown) {
        std::unique_ptr<InitErrorLog> record(thrown);
        return {record->kind,    record->unitCode, record->code[0], record->code[1],
                record->code[2], record->code[3],  record->code[4], record->code[5]};
    }
    return {};
}

#endif
