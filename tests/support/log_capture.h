#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Records the application log ("main" category) while alive, each line as
// "LEVEL text" with the milliseconds since the capture began, and still
// passes every message on to the previous handler.
class LogCapture {
public:
    struct Line {
        QString text; // "INFO 成功删除: /x"
        qint64 at_ms;
    };

    LogCapture()
    {
        m_clock.start();
        current() = this;
        m_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        current() = nullptr;
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QList<Line> lines() const
    {
        QMutexLocker lock(&m_mutex);
        return m_lines;
    }
    QStringList texts() const
    {
        QStringList out;
        for (const Line &line : lines())
            out << line.text;
        return out;
    }
    void clear()
    {
        QMutexLocker lock(&m_mutex);
        m_lines.clear();
        m_clock.restart();
    }

private:
    static LogCapture *&current()
    {
        static LogCapture *instance = nullptr;
        return instance;
    }

    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        LogCapture *self = current();
        if (!self)
            return;
        if (context.category && qstrcmp(context.category, "main") == 0) {
            static const char *const names[] = {"DEBUG", "WARNING", "ERROR", "FATAL", "INFO"};
            const int index = static_cast<int>(type);
            const QString level = QString::fromLatin1(index >= 0 && index < 5 ? names[index] : "?");
            QMutexLocker lock(&self->m_mutex);
            self->m_lines.append({level + QLatin1Char(' ') + message, self->m_clock.elapsed()});
        }
        if (self->m_previous)
            self->m_previous(type, context, message);
    }

    mutable QMutex m_mutex;
    QList<Line> m_lines;
    QElapsedTimer m_clock;
    QtMessageHandler m_previous = nullptr;
};
