#include "InitNTPService.h"

int InitNTPService::execJudge()
{
    return 1;
}
