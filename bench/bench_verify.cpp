// The full check's reading, driven by scripts/bench.sh:
//
//   furlane_bench_verify <file>...
//       hashes the files one after the other with sha256_of_file on one
//       worker thread, as the check of the installed files does; prints
//       "seconds <s> bytes <n>".

#include "core/support/sha256.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QThread>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList files = app.arguments().mid(1);
    if (files.isEmpty()) {
        std::fprintf(stderr, "usage: furlane_bench_verify <file>...\n");
        return 2;
    }
    qint64 bytes = 0;
    QString failure;
    QElapsedTimer clock;
    QThread *worker = QThread::create([&] {
        for (const QString &path : files) {
            QString error;
            const QByteArray digest = sha256_of_file(path, nullptr, [&](qint64 n) { bytes += n; }, &error);
            if (digest.isEmpty()) {
                failure = error;
                return;
            }
        }
    });
    clock.start();
    worker->start();
    worker->wait();
    const double seconds = clock.nsecsElapsed() / 1e9;
    delete worker;
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(failure));
        return 1;
    }
    std::printf("seconds %.4f bytes %lld\n", seconds, static_cast<long long>(bytes));
    return 0;
}
