#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

class QTextCodec;

// Decisions of the self-update that need no window, no thread and no network.
namespace selfupdate {

// The version this build reports to the version check.
extern const QString CURRENT_VERSION;

// Texts compare character by character by code point (not by UTF-16 unit);
// a proper prefix is the smaller. An empty `latest` is never newer.
bool is_newer_version(const QString &latest, const QString &current = CURRENT_VERSION);

// The download's file name: what follows the last "/" of the address (the
// whole text when there is none). Empty when that name could reach outside
// the folder it is saved in or is not a name Windows can store as given; `reason`
// then says why.
QString safe_file_name_from_url(const QString &download_url, QString *reason = nullptr);

// Where the new version is saved: beside the running program
// `program_path`. Empty when `file_name` is the program's own name (Windows
// ignores case): the download would take the running program's place.
QString update_target_path(const QString &program_path, const QString &file_name);

// "更新中，下载进度: 1.5MB/20.0MB": both sizes in mebibytes with one decimal,
// rounded half to even on the exact value.
QString progress_text(qint64 bytes_received, qint64 bytes_total);
QString mebibytes_text(qint64 bytes);

// Whether a progress report is shown: never without a known total; always for
// the final one (received equals total); otherwise when at least 0.1 s passed
// since the last shown text.
bool should_show_progress(qint64 bytes_received, qint64 bytes_total, double now_s, double last_update_s);

// The replacement script, lines joined with CR LF (first line empty). Paths
// go in as the command interpreter must see them; every "%" is doubled so
// that it stays literal inside the script.
QString update_script_text(const QString &exe_path, const QString &new_exe_path, const QString &bat_path);

// The script in the given 8-bit code page. Nothing when a character has no
// place in it: a path written with "?" instead would name other files, and
// "del" takes "?" as a wildcard.
std::optional<QByteArray> encode_script(const QString &text, QTextCodec *codec, QString *error = nullptr);

// The system's 8-bit code page: the ANSI code page on Windows, the locale's
// codec elsewhere (UTF-8 as last resort).
QTextCodec *system_script_codec();

// Writes the script for the given paths to `file_path` in the system's code
// page, replacing an earlier file. Returns an error text, empty on success.
QString write_update_script(const QString &file_path, const QString &exe_path, const QString &new_exe_path,
                            const QString &bat_path);

} // namespace selfupdate
