#include "core/platform/file_stamp.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace platform {

bool file_stamp(const wchar_t *path, FileStamp *stamp)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)
        || (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
        return false;
    stamp->size = (std::int64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    // 100 ns steps since 1601-01-01 UTC.
    const std::int64_t ticks =
        (std::int64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    stamp->modified_ms = (ticks - 116444736000000000LL) / 10000;
    return true;
}

} // namespace platform
