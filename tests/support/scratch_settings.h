#pragma once

#include <QSettings>
#include <QString>

// Why a test must not clear this settings store, or empty when it may. With
// QStandardPaths' test mode the store lies below HOME/.qttest; on Windows it
// is the registry, which only a throw-away Wine prefix (the Windows test run
// sets FURLANE_SCRATCH_REGISTRY=1) may lose.
inline QString settings_store_not_scratch(const QSettings &store)
{
#ifdef Q_OS_WIN
    if (qEnvironmentVariableIntValue("FURLANE_SCRATCH_REGISTRY") == 1)
        return QString();
    return QStringLiteral("would clear this user's own settings in the registry: ") + store.fileName();
#else
    return store.fileName().contains(QStringLiteral(".qttest")) ? QString() : store.fileName();
#endif
}

// Ends the test unless it may clear `store`: a skip on Windows, where only the
// Wine test run may, a failure elsewhere.
#ifdef Q_OS_WIN
#define REQUIRE_SCRATCH_SETTINGS(store)                                                                                \
    do {                                                                                                               \
        const QString not_scratch = settings_store_not_scratch(store);                                                 \
        if (!not_scratch.isEmpty())                                                                                    \
            QSKIP(qPrintable(not_scratch));                                                                            \
    } while (false)
#else
#define REQUIRE_SCRATCH_SETTINGS(store)                                                                                \
    do {                                                                                                               \
        const QString not_scratch = settings_store_not_scratch(store);                                                 \
        QVERIFY2(not_scratch.isEmpty(), qPrintable(not_scratch));                                                      \
    } while (false)
#endif
