#include "core/install/file_ops.h"

#include "core/support/log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <functional>

namespace {

QString shown(const QString &path) { return QDir::toNativeSeparators(path); }

// Pause before the next attempt: 0.5 s after the first failure, 1.0 s after
// the second, and so on.
void pause_after(int attempt) { QThread::msleep(500UL * static_cast<unsigned long>(attempt + 1)); }

// One removal attempt; empty error text on success.
QString try_remove(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return {};
    QFile file(path);
    if (file.remove())
        return {};
    const QString reason = file.errorString();
    return reason.isEmpty() ? QStringLiteral("unknown error") : reason;
}

// One rename attempt; empty error text on success.
QString try_rename(const QString &src, const QString &dst)
{
    const QFileInfo target(dst);
    if (target.exists()) {
        if (!safe_remove(dst))
            return QStringLiteral("无法移除目标文件: ") + shown(dst);
    }
    QFile file(src);
    if (file.rename(dst))
        return {};
    const QString reason = file.errorString();
    return reason.isEmpty() ? QStringLiteral("unknown error") : reason;
}

// Runs `attempt_once` (empty text = success) up to `max_retries` times with
// growing pauses, logging a warning per retry and an error at the end.
bool with_retries(int max_retries, const std::function<QString()> &attempt_once,
                  const QString &success_line, const QString &retry_prefix,
                  const QString &final_prefix, const QString &subject)
{
    for (int attempt = 0; attempt < max_retries; ++attempt) {
        const QString failure = attempt_once();
        if (failure.isEmpty()) {
            applog::info(success_line);
            return true;
        }
        if (attempt < max_retries - 1) {
            applog::warning(retry_prefix + QStringLiteral("%1/%2: ").arg(attempt + 1).arg(max_retries) + subject);
            pause_after(attempt);
        } else {
            applog::error(final_prefix + subject + QStringLiteral(" - ") + failure);
        }
    }
    return false;
}

} // namespace

bool safe_remove(const QString &path, int max_retries)
{
    return with_retries(max_retries, [&] { return try_remove(path); },
                        QStringLiteral("成功删除: ") + shown(path),
                        QStringLiteral("删除重试 "), QStringLiteral("最终删除失败: "), shown(path));
}

bool safe_rename(const QString &src, const QString &dst, int max_retries)
{
    // Retry and failure lines name the source, the file being moved.
    return with_retries(max_retries, [&] { return try_rename(src, dst); },
                        QStringLiteral("成功重命名: ") + shown(src) + QStringLiteral(" -> ") + shown(dst),
                        QStringLiteral("重命名重试 "), QStringLiteral("最终重命名失败: "), shown(src));
}
