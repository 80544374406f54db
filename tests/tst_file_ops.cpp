#include "core/install/file_ops.h"
#include "core/support/sha256.h"

#include "support/log_capture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <numeric>

namespace {

// What stands at a path before the call.
enum class Kind { Missing, File, NonEmptyFolder, ProcFile };

// A file on /proc: the kernel refuses to unlink it, also for root.
const QString PROC_FILE = QStringLiteral("/proc/self/status");

QString make(const QTemporaryDir &dir, const QString &name, Kind kind, const QByteArray &content = "data")
{
    const QString path = dir.filePath(name);
    switch (kind) {
    case Kind::Missing:
        break;
    case Kind::File: {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(content);
        break;
    }
    case Kind::NonEmptyFolder: {
        QDir().mkpath(path);
        QFile inner(path + QStringLiteral("/inner.pak"));
        if (inner.open(QIODevice::WriteOnly))
            inner.write("keep");
        break;
    }
    case Kind::ProcFile:
        return PROC_FILE;
    }
    return path;
}

QByteArray read_all(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Expected lines may end in " - ": then only the prefix is fixed and an error
// text must follow it.
void compare_lines(const QStringList &actual, const QStringList &expected)
{
    QCOMPARE(actual.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        if (expected[i].endsWith(QStringLiteral(" - "))) {
            QVERIFY2(actual[i].startsWith(expected[i]), qPrintable(actual[i]));
            QVERIFY2(actual[i].size() > expected[i].size(), "the error text is missing");
        } else {
            QCOMPARE(actual[i], expected[i]);
        }
    }
}

// The pause before line i+1 must be at least min_gaps[i] ms; with no gaps
// expected, the whole call must not have slept at all.
void check_pauses(const QList<LogCapture::Line> &lines, const QList<int> &min_gaps, qint64 total_ms)
{
    if (min_gaps.isEmpty()) {
        QVERIFY2(total_ms < 450, qPrintable(QStringLiteral("slept %1 ms").arg(total_ms)));
        return;
    }
    QCOMPARE(lines.size(), min_gaps.size() + 1);
    for (int i = 0; i < min_gaps.size(); ++i) {
        const qint64 gap = lines[i + 1].at_ms - lines[i].at_ms;
        QVERIFY2(gap >= min_gaps[i] - 20, qPrintable(QStringLiteral("pause %1 was %2 ms").arg(i).arg(gap)));
    }
}

// Bytes that repeat only after 251, so a block read twice or skipped shows.
QByteArray patterned(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 7 + 3) % 251);
    return data;
}

QStringList substituted(QStringList lines, const QString &src, const QString &dst)
{
    for (QString &line : lines)
        line.replace(QStringLiteral("{src}"), QDir::toNativeSeparators(src))
            .replace(QStringLiteral("{dst}"), QDir::toNativeSeparators(dst));
    return lines;
}

} // namespace

Q_DECLARE_METATYPE(Kind)

class TestFileOps : public QObject {
    Q_OBJECT
private slots:
    void remove_data();
    void remove();
    void rename_data();
    void rename();
    void sha256_data();
    void sha256();
};

void TestFileOps::remove_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<int>("max_retries");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<bool>("still_there");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QList<int>>("min_gaps");

    const QStringList gone{QStringLiteral("INFO 成功删除: {dst}")};
    QTest::newRow("file is deleted") << Kind::File << 3 << true << false << gone << QList<int>{};
    QTest::newRow("missing path counts as removed") << Kind::Missing << 3 << true << false << gone << QList<int>{};
    QTest::newRow("folder is left alone") << Kind::NonEmptyFolder << 3 << true << true << gone << QList<int>{};
    QTest::newRow("undeletable file: two retries with growing pauses, then error")
        << Kind::ProcFile << 3 << false << true
        << QStringList{QStringLiteral("WARNING 删除重试 1/3: {dst}"), QStringLiteral("WARNING 删除重试 2/3: {dst}"),
                       QStringLiteral("ERROR 最终删除失败: {dst} - ")}
        << QList<int>{500, 1000};
    QTest::newRow("undeletable file, single attempt: error at once, no pause")
        << Kind::ProcFile << 1 << false << true << QStringList{QStringLiteral("ERROR 最终删除失败: {dst} - ")}
        << QList<int>{};
    QTest::newRow("zero attempts: file untouched, nothing logged")
        << Kind::File << 0 << false << true << QStringList{} << QList<int>{};
    QTest::newRow("negative attempts: file untouched, nothing logged")
        << Kind::File << -2 << false << true << QStringList{} << QList<int>{};
}

void TestFileOps::remove()
{
    QFETCH(Kind, kind);
    QFETCH(int, max_retries);
    QFETCH(bool, expected);
    QFETCH(bool, still_there);
    QFETCH(QStringList, lines);
    QFETCH(QList<int>, min_gaps);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = make(dir, QStringLiteral("target.pak"), kind);

    LogCapture log;
    QElapsedTimer clock;
    clock.start();
    const bool result = safe_remove(path, max_retries);
    const qint64 total = clock.elapsed();

    QCOMPARE(result, expected);
    QCOMPARE(QFileInfo::exists(path), still_there);
    if (kind == Kind::NonEmptyFolder)
        QVERIFY(QFileInfo::exists(path + QStringLiteral("/inner.pak")));
    compare_lines(log.texts(), substituted(lines, QString(), path));
    check_pauses(log.lines(), min_gaps, total);
}

void TestFileOps::rename_data()
{
    QTest::addColumn<bool>("src_present");
    QTest::addColumn<Kind>("dst_kind");
    QTest::addColumn<int>("max_retries");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QList<int>>("min_gaps");

    const QString renamed = QStringLiteral("INFO 成功重命名: {src} -> {dst}");
    QTest::newRow("onto a free name") << true << Kind::Missing << 3 << true << QStringList{renamed} << QList<int>{};
    QTest::newRow("onto an existing file: old one deleted first")
        << true << Kind::File << 3 << true << QStringList{QStringLiteral("INFO 成功删除: {dst}"), renamed}
        << QList<int>{};
    QTest::newRow("missing source: retries name the source, then error")
        << false << Kind::Missing << 3 << false
        << QStringList{QStringLiteral("WARNING 重命名重试 1/3: {src}"), QStringLiteral("WARNING 重命名重试 2/3: {src}"),
                       QStringLiteral("ERROR 最终重命名失败: {src} - ")}
        << QList<int>{500, 1000};
    QTest::newRow("missing source, single attempt: error at once")
        << false << Kind::Missing << 1 << false << QStringList{QStringLiteral("ERROR 最终重命名失败: {src} - ")}
        << QList<int>{};
    QTest::newRow("target is a folder: never overwritten")
        << true << Kind::NonEmptyFolder << 2 << false
        << QStringList{QStringLiteral("INFO 成功删除: {dst}"), QStringLiteral("WARNING 重命名重试 1/2: {src}"),
                       QStringLiteral("INFO 成功删除: {dst}"), QStringLiteral("ERROR 最终重命名失败: {src} - ")}
        << QList<int>{0, 500, 0};
    QTest::newRow("target cannot be removed: its own three attempts, then error")
        << true << Kind::ProcFile << 1 << false
        << QStringList{QStringLiteral("WARNING 删除重试 1/3: {dst}"), QStringLiteral("WARNING 删除重试 2/3: {dst}"),
                       QStringLiteral("ERROR 最终删除失败: {dst} - "),
                       QStringLiteral("ERROR 最终重命名失败: {src} - 无法移除目标文件: {dst}")}
        << QList<int>{500, 1000, 0};
    QTest::newRow("zero attempts: source untouched, nothing logged")
        << true << Kind::Missing << 0 << false << QStringList{} << QList<int>{};
    QTest::newRow("negative attempts: source untouched, nothing logged")
        << true << Kind::File << -1 << false << QStringList{} << QList<int>{};
}

void TestFileOps::rename()
{
    QFETCH(bool, src_present);
    QFETCH(Kind, dst_kind);
    QFETCH(int, max_retries);
    QFETCH(bool, expected);
    QFETCH(QStringList, lines);
    QFETCH(QList<int>, min_gaps);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString src = make(dir, QStringLiteral("skin.pak.tmp"), src_present ? Kind::File : Kind::Missing, "new");
    const QString dst = make(dir, QStringLiteral("skin.pak"), dst_kind, "old");
    const QByteArray dst_before = read_all(dst);

    LogCapture log;
    QElapsedTimer clock;
    clock.start();
    const bool result = safe_rename(src, dst, max_retries);
    const qint64 total = clock.elapsed();

    QCOMPARE(result, expected);
    if (result) {
        QVERIFY(!QFileInfo::exists(src));
        QCOMPARE(read_all(dst), QByteArray("new"));
    } else {
        // A failed rename leaves the source where it was and the target as it was.
        QCOMPARE(QFileInfo::exists(src), src_present);
        if (src_present)
            QCOMPARE(read_all(src), QByteArray("new"));
        if (dst_kind == Kind::NonEmptyFolder)
            QCOMPARE(read_all(dst + QStringLiteral("/inner.pak")), QByteArray("keep"));
        else if (dst_kind == Kind::File)
            QCOMPARE(read_all(dst), dst_before);
    }
    compare_lines(log.texts(), substituted(lines, src, dst));
    check_pauses(log.lines(), min_gaps, total);
}

void TestFileOps::sha256_data()
{
    QTest::addColumn<Kind>("kind");         // what sha256_of_file finds at its path
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("piece");         // added in pieces of this size
    QTest::addColumn<bool>("cancelled");    // the flag is up before the file is read
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("blocks");        // reads of the file that report bytes

    const QByteArray empty = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
    QTest::newRow("empty") << Kind::File << QByteArray() << 1 << false << empty << 0;
    QTest::newRow("abc") << Kind::File << QByteArray("abc") << 3 << false
                         << QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad") << 1;
    QTest::newRow("two blocks of the hash, one byte at a time")
        << Kind::File << QByteArray("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq") << 1 << false
        << QByteArray("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1") << 1;
    QTest::newRow("a million a, in uneven pieces")
        << Kind::File << QByteArray(1000000, 'a') << 8191 << false
        << QByteArray("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0") << 1;
    QTest::newRow("1 MiB + 1: a block larger than one read of the file")
        << Kind::File << patterned(1024 * 1024 + 1) << 1024 * 1024 + 1 << false
        << QByteArray("e42cda7f3d5f4472e6a826c1ae97c1d3933ba23ef486e8df5814889b7af6f7c4") << 2;
    QTest::newRow("cancelled: no hash, no error") << Kind::File << QByteArray("abc") << 3 << true << QByteArray() << 0;
    QTest::newRow("missing file: error") << Kind::Missing << QByteArray() << 1 << false << QByteArray() << 0;
    QTest::newRow("folder: error") << Kind::NonEmptyFolder << QByteArray() << 1 << false << QByteArray() << 0;
}

void TestFileOps::sha256()
{
    QFETCH(Kind, kind);
    QFETCH(QByteArray, data);
    QFETCH(int, piece);
    QFETCH(bool, cancelled);
    QFETCH(QByteArray, expected);
    QFETCH(int, blocks);

    if (kind == Kind::File && !cancelled) {
        // Reused after a reset, fed piece by piece; the end repeats itself.
        Sha256 hash;
        hash.add("left over from before");
        QCOMPARE(hash.hex().size(), 64);
        hash.reset();
        for (int at = 0; at < data.size(); at += piece)
            hash.add(data.constData() + at, qMin<qint64>(piece, data.size() - at));
        QCOMPARE(hash.hex(), expected);
        QCOMPARE(hash.hex(), expected);
    }

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = make(dir, QStringLiteral("skin.pak"), kind, data);
    const std::atomic<bool> cancel{cancelled};
    QList<qint64> reads;
    QString error = QStringLiteral("not cleared");
    const QByteArray got = sha256_of_file(path, &cancel, [&](qint64 n) { reads << n; }, &error);
    QCOMPARE(got, expected);
    QCOMPARE(reads.size(), blocks);
    if (kind == Kind::File) {
        QCOMPARE(error, QString());
        if (!cancelled)
            QCOMPARE(std::accumulate(reads.begin(), reads.end(), qint64(0)), qint64(data.size()));
    } else {
        QVERIFY2(error.startsWith(QStringLiteral("无法读取文件: ") + QDir::toNativeSeparators(path) + QStringLiteral(" - "))
                     && error.size() > QStringLiteral("无法读取文件:  - ").size() + path.size(),
                 qPrintable(error));
    }
}

QTEST_GUILESS_MAIN(TestFileOps)
#include "tst_file_ops.moc"
