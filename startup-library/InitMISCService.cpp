#include "InitMISCService.h"

int InitMISCService::execJudge()
{
    return 1;
}
