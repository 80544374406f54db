// Stand-in for the Windows shell where there is none: the launch request is
// logged and, for tests, recorded in a file.
#include "update/elevated_launch.h"

#include "app/log.h"

#include <QDir>
#include <QString>

#include <fstream>
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

void launch_elevated(const std::wstring &path)
{
    applog::warning(QStringLiteral("此平台无法提权运行更新脚本: ")
                    + QDir::toNativeSeparators(QString::fromStdWString(path)));
    std::lock_guard<std::mutex> lock(record_mutex);
    if (record_file.empty())
        return;
    std::ofstream out(record_file, std::ios::app | std::ios::binary);
    out << QString::fromStdWString(path).toStdString() << '\n';
}

unsigned ansi_code_page()
{
    return 0;
}

} // namespace platform
