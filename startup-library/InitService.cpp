#include "InitService.h"

#include "InitMMBFirm.h"

int InitService::execJudge()
{
    return InitMMBFirm::getInstance()->activeMode == 0 ? 1 : 0;
}
