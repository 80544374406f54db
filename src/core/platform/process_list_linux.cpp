#include "core/platform/process_list.h"

#include "core/platform/wine_paths.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>

#include <algorithm>
#include <vector>

#include <unistd.h>

namespace {

QString link_target(const QString &link)
{
    const QByteArray encoded = QFile::encodeName(link);
    QByteArray target(4096, '\0');
    const ssize_t length = ::readlink(encoded.constData(), target.data(), static_cast<size_t>(target.size()));
    if (length <= 0)
        return {};
    target.resize(static_cast<int>(length));
    return QFile::decodeName(target);
}

QByteArray read_proc_file(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QString file_name_of(const QString &path)
{
    const int cut = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(cut + 1);
}

// Name and executable of one process; false when it has ended or its data
// cannot be read.
bool read_process(const QString &dir, ProcessInfo *info)
{
    const QString exe = link_target(dir + QStringLiteral("/exe"));
    if (exe.isEmpty())
        return false; // kernel thread, ended, or not ours to read
    if (!is_wine_loader(exe)) {
        // The file name, not comm: comm is cut at 15 characters.
        *info = {file_name_of(exe), exe};
        return true;
    }
    const QString program = wine_program_path(read_proc_file(dir + QStringLiteral("/cmdline")));
    if (program.isEmpty()) {
        *info = {file_name_of(exe), exe};
        return true;
    }
    QString prefix = wine_prefix_from_environ(read_proc_file(dir + QStringLiteral("/environ")));
    if (prefix.isEmpty()) {
        // environ unreadable: assume the prefix this program would use.
        prefix = QProcessEnvironment::systemEnvironment().value(QStringLiteral("WINEPREFIX"),
                                                                 QDir::homePath() + QStringLiteral("/.wine"));
    }
    const QString path = unix_path_from_wine(program, prefix, link_target(dir + QStringLiteral("/cwd")));
    if (path.isEmpty())
        return false;
    *info = {file_name_of(program), path};
    return true;
}

} // namespace

ProcessListing list_processes()
{
    ProcessListing listing;
    QDir proc(QStringLiteral("/proc"));
    if (!proc.exists() || !proc.isReadable()) {
        listing.error = QStringLiteral("cannot read /proc");
        return listing;
    }
    std::vector<qint64> pids;
    for (const QString &entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (numeric)
            pids.push_back(pid);
    }
    std::sort(pids.begin(), pids.end());
    for (const qint64 pid : pids) {
        ProcessInfo info;
        if (read_process(QStringLiteral("/proc/%1").arg(pid), &info))
            listing.processes.append(info);
    }
    listing.ok = true;
    return listing;
}
