#pragma once

// A file's size and modification time straight from the system, in UTC.
// Qt's file times go through the local time zone and back, which costs more
// than the look at the disk when thousands of files are looked at in a row.
// Only standard library headers here, so that the Windows file builds with
// MinGW on its own.

#include <cstdint>

namespace platform {

struct FileStamp {
    std::int64_t size = -1;
    std::int64_t modified_ms = 0;   // milliseconds since 1970-01-01 UTC
};

// False when `path` is no regular file or cannot be looked at (a caller
// may then ask Qt). The path is UTF-16 on Windows, the file system's own
// encoding elsewhere.
#ifdef _WIN32
bool file_stamp(const wchar_t *path, FileStamp *stamp);
#else
bool file_stamp(const char *path, FileStamp *stamp);
#endif

} // namespace platform
