// Stand-in for the Windows shell where there is none: the launch request is
// logged and, for tests, recorded in a file.
#include "core/update/elevated_launch.h"

#include "core/support/log.h"

#include <QDir>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace platform {

namespace {

std::mutex record_mutex;
std::string record_file;

} // namespace

void set_launch_record_file_for_tests(const std::string &path)
{
    std::lock_guard<std::mutex> lock(record_mutex);
    record_file = path;
}

bool can_launch_elevated()
{
    std::lock_guard<std::mutex> lock(record_mutex);
    return !record_file.empty();
}

LaunchResult launch_elevated(const std::wstring &path)
{
    applog::warning(QStringLiteral("此平台无法提权运行更新脚本: ")
                    + QDir::toNativeSeparators(QString::fromStdWString(path)));
    std::lock_guard<std::mutex> lock(record_mutex);
    // Nothing runs the script here: a launch that did not happen.
    if (record_file.empty())
        return {false, QStringLiteral("此平台无法提权运行更新脚本").toStdWString()};
    const std::string line = QString::fromStdWString(path).toStdString() + '\n';
    errno = 0;
    std::FILE *out = std::fopen(record_file.c_str(), "ab");
    bool written = out && std::fwrite(line.data(), 1, line.size(), out) == line.size();
    const int write_error = errno;
    if (out && std::fclose(out) != 0)
        written = false;
    if (!written) {
        const QString reason = QString::fromLocal8Bit(std::strerror(write_error ? write_error : errno));
        return {false, (QString::fromLocal8Bit(record_file.c_str()) + QStringLiteral(": ") + reason).toStdWString()};
    }
    return {true, std::wstring()};
}

unsigned oem_code_page()
{
    return 0;
}

bool to_oem_code_page(const std::wstring &, std::string *, unsigned)
{
    return false;
}

} // namespace platform
