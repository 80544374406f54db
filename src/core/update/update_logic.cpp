#include "core/update/update_logic.h"

#include "core/update/elevated_launch.h"
#include "core/update/version.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <QTextCodec>
#include <QVector>

#include <algorithm>

namespace selfupdate {

const QString CURRENT_VERSION = QStringLiteral(FURLANE_VERSION_TEXT);

bool is_newer_version(const QString &latest, const QString &current)
{
    if (latest.isEmpty())
        return false;
    // UTF-16 units order characters above U+FFFF before U+E000..U+FFFF;
    // code points do not.
    const QVector<uint> a = latest.toUcs4();
    const QVector<uint> b = current.toUcs4();
    return std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end());
}

namespace {

bool is_reserved_device_name(const QString &name)
{
    // Windows opens these devices whatever extension follows.
    const QString stem = name.section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
    static const QStringList fixed{QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
                                   QStringLiteral("NUL"), QStringLiteral("CONIN$"), QStringLiteral("CONOUT$")};
    if (fixed.contains(stem))
        return true;
    return stem.size() == 4 && (stem.startsWith(QLatin1String("COM")) || stem.startsWith(QLatin1String("LPT")))
        && stem.at(3) >= QLatin1Char('1') && stem.at(3) <= QLatin1Char('9');
}

} // namespace

QString safe_file_name_from_url(const QString &download_url, QString *reason)
{
    const QString name = download_url.mid(download_url.lastIndexOf(QLatin1Char('/')) + 1);
    auto refuse = [&](const QString &why) {
        if (reason)
            *reason = why + QStringLiteral(": \"") + name + QLatin1Char('"');
        return QString();
    };
    if (name.isEmpty())
        return refuse(QStringLiteral("下载地址中没有文件名"));
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return refuse(QStringLiteral("文件名指向目录"));
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || QStringLiteral("<>:\"/\\|?*").contains(c))
            return refuse(QStringLiteral("文件名含有非法字符"));
    }
    // Windows drops trailing dots and blanks, so the file would get another name.
    if (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        return refuse(QStringLiteral("文件名以点或空格结尾"));
    if (is_reserved_device_name(name))
        return refuse(QStringLiteral("文件名是设备名"));
    return name;
}

const QString UPDATE_SCRIPT_NAME = QStringLiteral("update.bat");

QString update_target_path(const QString &program_path, const QString &file_name, QString *reason)
{
    const QFileInfo program(program_path);
    QString clash;
    if (program.fileName().compare(file_name, Qt::CaseInsensitive) == 0)
        clash = QStringLiteral("新版本与正在运行的程序同名: ") + QDir::toNativeSeparators(program.absoluteFilePath());
    else if (file_name.compare(UPDATE_SCRIPT_NAME, Qt::CaseInsensitive) == 0)
        clash = QStringLiteral("新版本与更新脚本同名: ") + file_name;
    if (!clash.isEmpty()) {
        if (reason)
            *reason = clash;
        return QString();
    }
    return program.absoluteDir().absoluteFilePath(file_name);
}

QString mebibytes_text(qint64 bytes)
{
    // bytes / 1048576 with one decimal, computed exactly so that ties round to
    // even the same way on every platform.
    const qint64 unit = 1024 * 1024;
    const qint64 scaled = bytes * 10;
    qint64 tenths = scaled / unit;
    const qint64 rest = scaled % unit;
    if (rest * 2 > unit || (rest * 2 == unit && tenths % 2 == 1))
        ++tenths;
    return QString::number(tenths / 10) + QLatin1Char('.') + QString::number(tenths % 10);
}

QString progress_text(qint64 bytes_received, qint64 bytes_total)
{
    return QStringLiteral("更新中，下载进度: ") + mebibytes_text(bytes_received) + QStringLiteral("MB/")
        + mebibytes_text(bytes_total) + QStringLiteral("MB");
}

bool should_show_progress(qint64 bytes_received, qint64 bytes_total, double now_s, double last_update_s)
{
    if (bytes_total <= 0 || bytes_received > bytes_total)
        return false;
    return now_s - last_update_s >= 0.1 || bytes_received == bytes_total;
}

QString update_script_text(const QString &folder, const QString &exe_name, const QString &new_exe_name)
{
    auto lit = [](QString name) { return name.replace(QLatin1Char('%'), QStringLiteral("%%")); };
    QString dir = QStringLiteral("%~dp0");
    QString self = QStringLiteral("%~f0");
    if (folder.contains(QLatin1Char('%'))) {
        dir = lit(folder);
        if (!dir.endsWith(QLatin1Char('\\')) && !dir.endsWith(QLatin1Char('/')))
            dir += QLatin1Char('\\');
        self = dir + UPDATE_SCRIPT_NAME;
    }
    const QStringList lines{
        QString(),
        QStringLiteral("@echo off"),
        QStringLiteral("timeout /t 1 /nobreak >nul"),
        QStringLiteral("taskkill /F /IM \"") + lit(exe_name) + QStringLiteral("\" >nul 2>&1"),
        QStringLiteral("start \"\" \"") + dir + lit(new_exe_name) + QLatin1Char('"'),
        QStringLiteral("timeout /t 3 /nobreak >nul"),
        QStringLiteral("del /F /Q \"") + dir + lit(exe_name) + QStringLiteral("\" >nul 2>&1"),
        QStringLiteral("timeout /t 1 /nobreak >nul"),
        QStringLiteral("del /F /Q \"") + self + QStringLiteral("\" >nul 2>&1"),
        QStringLiteral("exit"),
    };
    QString text;
    for (const QString &line : lines)
        text += line + QStringLiteral("\r\n");
    return text;
}

std::optional<QByteArray> encode_script(const QString &text, QTextCodec *codec, QString *error)
{
    if (!codec->canEncode(text)) {
        if (error)
            *error = QStringLiteral("文件名含有代码页 ") + QString::fromLatin1(codec->name())
                + QStringLiteral(" 无法表示的字符");
        return std::nullopt;
    }
    return codec->fromUnicode(text);
}

QString write_update_script(const QString &file_path, const QString &folder, const QString &exe_name,
                            const QString &new_exe_name)
{
    const QString text = update_script_text(folder, exe_name, new_exe_name);
    QString error;
    std::optional<QByteArray> bytes;
    std::string oem;
    if (platform::to_oem_code_page(text.toStdWString(), &oem))
        bytes = QByteArray::fromStdString(oem);
    else if (const unsigned page = platform::oem_code_page())
        error = QStringLiteral("文件名含有代码页 ") + QString::number(page) + QStringLiteral(" 无法表示的字符");
    else
        bytes = encode_script(text, QTextCodec::codecForLocale(), &error);
    if (!bytes)
        return error;
    // All or nothing: a half-written script could kill the program and start nothing.
    QSaveFile file(file_path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString() + QStringLiteral(": ") + QDir::toNativeSeparators(file_path);
    if (file.write(*bytes) != bytes->size() || !file.commit())
        return file.errorString() + QStringLiteral(": ") + QDir::toNativeSeparators(file_path);
    return QString();
}

namespace {

// Why a signature that is not valid does not hold, of `who` ("更新文件",
// "当前程序").
QString signature_problem(const QString &who, const platform::CodeSignature &signature)
{
    using Status = platform::CodeSignature::Status;
    switch (signature.status) {
    case Status::Unsigned:
        return who + QStringLiteral("没有数字签名");
    case Status::BadDigest:
        return who + QStringLiteral("的内容与数字签名不符");
    default: {
        const QString code = QStringLiteral("0x%1").arg(static_cast<quint32>(signature.code), 8, 16, QLatin1Char('0'));
        const QString text = QString::fromStdWString(signature.error);
        return who + QStringLiteral("的数字签名无效: ") + (text.isEmpty() ? code : text + QStringLiteral(" (") + code + ')');
    }
    }
}

} // namespace

SignatureVerdict judge_update_signature(const platform::CodeSignature &running,
                                        const platform::CodeSignature &update)
{
    using Status = platform::CodeSignature::Status;
    SignatureVerdict verdict;
    if (running.status == Status::Unsigned || running.status == Status::Unsupported) {
        verdict.accepted = true;
        verdict.unverified = true;
        return verdict;
    }
    if (running.status != Status::Valid) {
        verdict.reason = signature_problem(QStringLiteral("当前程序"), running);
        return verdict;
    }
    if (update.status != Status::Valid) {
        verdict.reason = signature_problem(QStringLiteral("更新文件"), update);
        return verdict;
    }
    if (update.subject_der != running.subject_der) {
        verdict.reason = QStringLiteral("更新文件的发布者与当前程序不同: ") + QString::fromStdWString(update.subject)
            + QStringLiteral(" (当前程序: ") + QString::fromStdWString(running.subject) + ')';
        return verdict;
    }
    verdict.accepted = true;
    return verdict;
}

QString signature_failure_text(const QString &reason)
{
    return QStringLiteral("更新文件签名校验失败: ") + reason;
}

} // namespace selfupdate
