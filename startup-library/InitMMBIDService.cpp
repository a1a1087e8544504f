#include "InitMMBIDService.h"

#include "InitMMBFirm.h"

#include <cstdio>

void InitMMBIDService::start()
{
    const InitMMBFirm* firm = InitMMBFirm::getInstance();
    // echo turns \012 into the line end; "%%s" leaves the file's place to startLine.
    char format[FORMAT_SIZE];
    snprintf(format, sizeof format, "%s -e \"MMBID=%d\\012MMBMODE=%s\" > %%s", "/bin/echo", firm->mmbId,
             firm->activeMode == 0 ? "A" : "S");
    startLine(format);
}

int InitMMBIDService::execJudge()
{
    return 1;
}
