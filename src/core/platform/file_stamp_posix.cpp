#include "core/platform/file_stamp.h"

#include <sys/stat.h>

namespace platform {

bool file_stamp(const char *path, FileStamp *stamp)
{
    struct stat info {};
    if (::stat(path, &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    stamp->size = info.st_size;
    stamp->modified_ms = std::int64_t(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000;
    return true;
}

} // namespace platform
