#include "FileCopy.h"

#include <fcntl.h>
#include <unistd.h>

namespace sim {

bool copyFile(const char* from, const char* to)
{
    int in = open(from, O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    int out = open(to, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool ok = out >= 0;
    char buffer[4096];
    for (ssize_t got; ok && (got = read(in, buffer, sizeof buffer)) != 0;)
        ok = got > 0 && write(out, buffer, static_cast<size_t>(got)) == got;
    close(in);
    if (out >= 0)
        close(out);
    return ok;
}

} // namespace sim
