#include "lmsg.h"

int lmsg_getmsg(int, char*, ...)
{
    return -1;
}
