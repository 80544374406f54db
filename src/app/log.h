#pragma once

#include <QLoggingCategory>
#include <QString>

// The application log: one category named "main", written to standard error
// as "2026-12-06 22:18:02,123 [WARNING] main: text".
Q_DECLARE_LOGGING_CATEGORY(lcMain)

namespace applog {

// Installs the record format and lets every level of "main" through. Call
// once before the application object is created.
void install();

// The record format handed to qSetMessagePattern.
QString message_pattern();

void debug(const QString &text);
void info(const QString &text);
void warning(const QString &text);
void error(const QString &text);

} // namespace applog
