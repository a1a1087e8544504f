#include "libdual.h"

unsigned long dual_get_initActive(int, unsigned long)
{
    return 0;
}

unsigned long dual_get_Active(char*, char*, char*)
{
    return 0;
}

int dual_get_status(unsigned long*, unsigned long*)
{
    return -1;
}

int dual_request_copyFile(char*, int)
{
    return -1;
}

int dual_copyFile(char*, int)
{
    return -1;
}
