// Update checks of installed skins behind a distant server, run by
// scripts/bench.sh.
//
//   furlane_bench_update_check <stand-in base> <proxy base> <count>
//
// The stand-in server serves skins/Bench/Upd/skin<n>.pak (n from 1 to
// <count>) and tools/latency_proxy.py at <proxy base> stands in front of it.
// Each package's validators and size are read first straight from the
// stand-in (as an install records them); then <count> install records that
// name the packages through the proxy are checked at once, timed from
// check() to finished(), with a 5 ms timer on the GUI thread measuring how
// late it fires meanwhile.
// Prints "check_s <s> lateness_ms <ms> same <n>". Fails (status 1) when a
// package could not be read or a check did not find it unchanged.

#include "bench_support.h"
#include "core/download/update_check.h"
#include "core/net/http_client.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QElapsedTimer>

#include <cstdio>

namespace {

QString package_url(const QString &base, int n)
{
    return base
        + QStringLiteral("/subcutaneous/index_skin_download.php?MainCategory=Bench&subcategory=Upd&pak_original=skin%1.pak")
              .arg(n);
}

} // namespace

int main(int argc, char **argv)
{
    // Nothing of the run may reach the user's own folders.
    QTemporaryDir home;
    use_private_home(home.path());
    QApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <stand-in base> <proxy base> <count>\n", argv[0]);
        return 2;
    }
    const QString standin = QString::fromLocal8Bit(argv[1]);
    const QString proxy = QString::fromLocal8Bit(argv[2]);
    const int count = QString::fromLocal8Bit(argv[3]).toInt();

    HttpClient http;
    QVector<InstallRecord> records;
    for (int n = 1; n <= count; ++n) {
        const HttpResult head = http.head(url_from_text(package_url(standin, n)), 10);
        if (head.status != 200) {
            std::fprintf(stderr, "package %d: %s\n", n, qPrintable(head.error_text()));
            return 1;
        }
        InstalledFile package;
        package.path = QStringLiteral("skin%1.pak").arg(n);
        package.url = package_url(proxy, n);
        package.size = head.content_length;
        package.etag = head.header("ETag");
        package.last_modified = head.header("Last-Modified");
        InstallRecord record;
        record.skin_id = QString::number(n);
        record.name = QStringLiteral("皮肤%1").arg(n);
        record.files = {package};
        records.append(record);
    }

    SkinUpdateChecker checker(http);
    int same = 0;
    QObject::connect(&checker, &SkinUpdateChecker::answered, [&](const PackageCheck &check) {
        if (check.verdict == PackageVerdict::Same)
            ++same;
    });
    LatenessProbe probe(5);
    QElapsedTimer clock;
    probe.start();
    clock.start();
    const bool done = run_until(&checker, &SkinUpdateChecker::finished, [&] { checker.check(records); });
    const double seconds = ms_since(clock) / 1000.0;
    probe.stop();
    if (!done || same != count) {
        std::fprintf(stderr, "%d of %d checks found the package unchanged\n", same, count);
        return 1;
    }
    std::printf("check_s %.3f lateness_ms %.2f same %d\n", seconds, probe.worst_ms(), same);
    return 0;
}
