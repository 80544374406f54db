#include "app/log.h"

Q_LOGGING_CATEGORY(lcMain, "main", QtDebugMsg)

namespace applog {

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
}

void debug(const QString &text) { qCDebug(lcMain).noquote() << text; }
void info(const QString &text) { qCInfo(lcMain).noquote() << text; }
void warning(const QString &text) { qCWarning(lcMain).noquote() << text; }
void error(const QString &text) { qCCritical(lcMain).noquote() << text; }

} // namespace applog
