#include "InitMMBFile.h"

#include "InitErrorLog.h"
#include "InitMMBFirm.h"
#include "InitTraceHandler.h"

#include <cstdarg>
#include <cstdlib>
#include <sys/stat.h>

const char* const InitMMBFile::openMode[MODE_COUNT] = {"r", "w+", "a+b", "rb", "a"};

InitMMBFile::~InitMMBFile()
{
    if (fp != nullptr)
        fclose(fp);
}

void InitMMBFile::makePath(const char* name, char* out)
{
    const char* prefix = getenv("MMB_DEBUG_PATH");
    int length = snprintf(out, PATH_SIZE, "%s%s", prefix != nullptr ? prefix : "", name);
    if (length < 0 || length >= PATH_SIZE)
        out[0] = '\0';
}

int InitMMBFile::isFileExist(const char* path)
{
    struct stat status;
    return stat(path, &status) == 0 ? 1 : 0;
}

void InitMMBFile::setMode(int modeNumber)
{
    if (static_cast<unsigned>(modeNumber) >= MODE_COUNT) {
        InitTraceHandler::getInstance()->output(20015, 0, "setMode", path);
        throw new InitErrorLog(1, InitMMBFirm::getInstance()->mmbId, 0x39, 1, 0, 0, 0, 0);
    }
    mode = openMode[modeNumber];
}

void InitMMBFile::open(int modeNumber)
{
    setMode(modeNumber);
    fp = fopen(path, mode);
}

int InitMMBFile::printf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int written = vfprintf(fp, format, args);
    va_end(args);
    return written;
}
