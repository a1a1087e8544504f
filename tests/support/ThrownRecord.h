// How the test drivers print a record the library threw.
#ifndef TEST_THROWN_RECORD_H
#define TEST_THROWN_RECORD_H

#include "InitErrorLog.h"

#include <cstdio>

inline void printThrownRecord(const InitErrorLog& record)
{
    std::printf("thrown kind=%d unit=%02x codes=%02x %02x %02x %02x %02x %02x\n", record.kind, record.unitCode,
                record.code[0], record.code[1], record.code[2], record.code[3], record.code[4], record.code[5]);
}

#endif
