#include "InitMMBCONFService.h"

#include <cstdio>

void InitMMBCONFService::start()
{
    char format[FORMAT_SIZE];
    snprintf(format, sizeof format, "%s > %%s", "/opt/mmb/bin/dspmmbconfig");
    startLine(format);
}

int InitMMBCONFService::execJudge()
{
    return 1;
}
