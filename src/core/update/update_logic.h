#pragma once

#include "core/update/code_signature.h"

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

// The replacement script's name, beside the program.
extern const QString UPDATE_SCRIPT_NAME;

// Where the new version is saved: beside the running program
// `program_path`. Empty when `file_name` is the program's own name or the
// script's (Windows ignores case): the download would take the running
// program's place, or the script would be written over it. `reason` then
// says which.
QString update_target_path(const QString &program_path, const QString &file_name, QString *reason = nullptr);

// "更新中，下载进度: 1.5MB/20.0MB": both sizes in mebibytes with one decimal,
// rounded half to even on the exact value.
QString progress_text(qint64 bytes_received, qint64 bytes_total);
QString mebibytes_text(qint64 bytes);

// Whether a progress report is shown: never without a known total, nor with a
// total below what was received; always for the final one (received equals
// total); otherwise when at least 0.1 s passed since the last shown text.
bool should_show_progress(qint64 bytes_received, qint64 bytes_total, double now_s, double last_update_s);

// The replacement script, lines joined with CR LF (first line empty). It
// stands beside the program in `folder` (as the command interpreter sees it)
// and finds that folder as %~dp0, so no folder name is in its text: cmd
// reads a batch file in the OEM code page, which cannot hold every folder
// name. A folder holding "%" is the exception: Wine's cmd expands the "%" it
// finds in what %~dp0 gave, so that one is written out. Names and folder go
// in with every "%" doubled, so that it stays literal inside the script.
QString update_script_text(const QString &folder, const QString &exe_name, const QString &new_exe_name);

// The script in the given 8-bit code page. Nothing when a character has no
// place in it: a name written with "?" instead would name other files, and
// "del" takes "?" as a wildcard.
std::optional<QByteArray> encode_script(const QString &text, QTextCodec *codec, QString *error = nullptr);

// Writes the script for the given folder and file names to `file_path` in
// the OEM code page (the locale's elsewhere), replacing an earlier file.
// Returns an error text, empty on success.
QString write_update_script(const QString &file_path, const QString &folder, const QString &exe_name,
                            const QString &new_exe_name);

// Whether the downloaded update may be launched, judged on the Authenticode
// verdicts of the running program and of the update. A running program
// without a signature (or a platform without the check) lets any update
// through, `unverified` telling so. A signed one lets through only an update
// whose valid signature names the very same signer subject (the whole name,
// as encoded); when its own signature does not hold, nothing can be compared
// and nothing goes through.
struct SignatureVerdict {
    bool accepted = false;
    bool unverified = false;
    QString reason;   // why not accepted, for the "更新文件签名校验失败: " box
};
SignatureVerdict judge_update_signature(const platform::CodeSignature &running,
                                        const platform::CodeSignature &update);

// The fatal box's text for a refused update.
QString signature_failure_text(const QString &reason);

} // namespace selfupdate
