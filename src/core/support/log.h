#pragma once

#include <QLoggingCategory>
#include <QString>

// The application log: one category named "main", written to standard error
// as "2026-12-06 22:18:02,123 [WARNING] main: text", and on Windows also to a
// file.
Q_DECLARE_LOGGING_CATEGORY(lcMain)

namespace applog {

// How much of an old log file is kept at start-up.
constexpr qint64 LOG_FILE_KEEP_BYTES = 1024 * 1024;

// Installs the record format and lets every level of "main" through. Call
// once before the application object is created; only then does it also
// install the handler that formats each record once and writes it to
// standard error and the log file (test programs install their own handler
// after the application object).
void install();

// The record format handed to qSetMessagePattern.
QString message_pattern();

// From now on every record is also appended to the file at `path`. An old
// file is first cut to its last `keep` bytes, starting at a whole line.
// Returns false, with a warning in the log, when the file cannot be opened.
bool open_log_file(const QString &path, qint64 keep = LOG_FILE_KEEP_BYTES);

void debug(const QString &text);
void info(const QString &text);
void warning(const QString &text);
void error(const QString &text);

} // namespace applog
