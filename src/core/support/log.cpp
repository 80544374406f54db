#include "core/support/log.h"

#include "core/platform/std_error.h"

#include <QCoreApplication>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QSaveFile>

Q_LOGGING_CATEGORY(lcMain, "main", QtDebugMsg)

namespace applog {

namespace {

struct LogFile {
    QMutex mutex;
    QFile file;
};

LogFile &log_file()
{
    static LogFile instance;
    return instance;
}

QtMessageHandler previous_handler = nullptr;

void handle_message(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QByteArray line = qFormatLogMessage(type, context, message).toUtf8() + '\n';
    {
        LogFile &sink = log_file();
        QMutexLocker lock(&sink.mutex);
        if (sink.file.isOpen()) {
            sink.file.write(line);
            sink.file.flush();
        }
    }
    if (!platform::write_std_error(line.toStdString()) && previous_handler)
        previous_handler(type, context, message);
}

// Keeps the last `keep` bytes of the file, from the first line that starts
// within them. Failing leaves the file as it was.
void cut_log_file(const QString &path, qint64 keep)
{
    QFile old(path);
    if (old.size() <= keep || !old.open(QIODevice::ReadOnly))
        return;
    // One byte more, to see whether the kept part starts a line.
    old.seek(old.size() - keep - 1);
    QByteArray tail = old.read(keep + 1);
    old.close();
    const int line_end = tail.indexOf('\n');
    tail.remove(0, line_end >= 0 ? line_end + 1 : 1);
    QSaveFile cut(path);
    if (!cut.open(QIODevice::WriteOnly) || cut.write(tail) != tail.size() || !cut.commit())
        warning(QStringLiteral("日志文件无法截短: ") + path);
}

} // namespace

QString message_pattern()
{
    return QStringLiteral(
        "%{time yyyy-MM-dd hh:mm:ss,zzz} "
        "[%{if-debug}DEBUG%{endif}%{if-info}INFO%{endif}%{if-warning}WARNING%{endif}"
        "%{if-critical}ERROR%{endif}%{if-fatal}CRITICAL%{endif}] "
        "%{category}: %{message}");
}

void install()
{
    qSetMessagePattern(message_pattern());
    // Distribution-wide rule files may switch debug output off; the log's
    // threshold is debug, so say so explicitly (env rules still win).
    QLoggingCategory::setFilterRules(QStringLiteral("main.debug=true\nmain.info=true"));
    if (!QCoreApplication::instance() && !previous_handler)
        previous_handler = qInstallMessageHandler(handle_message);
}

bool open_log_file(const QString &path, qint64 keep)
{
    cut_log_file(path, keep);
    LogFile &sink = log_file();
    QString failure;
    {
        QMutexLocker lock(&sink.mutex);
        sink.file.close();
        sink.file.setFileName(path);
        if (!sink.file.open(QIODevice::WriteOnly | QIODevice::Append))
            failure = sink.file.errorString();
    }
    if (failure.isEmpty())
        return true;
    warning(QStringLiteral("无法写入日志文件: ") + path + QStringLiteral(": ") + failure);
    return false;
}

void debug(const QString &text) { qCDebug(lcMain).noquote() << text; }
void info(const QString &text) { qCInfo(lcMain).noquote() << text; }
void warning(const QString &text) { qCWarning(lcMain).noquote() << text; }
void error(const QString &text) { qCCritical(lcMain).noquote() << text; }

} // namespace applog
