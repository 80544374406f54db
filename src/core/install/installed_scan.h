#pragma once

#include "core/install/install_record.h"
#include "core/install/install_store.h"
#include "core/install/installed_skins.h"
#include "core/net/server_endpoints.h"

#include <QHash>
#include <QJsonArray>
#include <QObject>
#include <QPair>
#include <QString>
#include <QVector>

#include <optional>

class QThread;

// One look at what is installed below a game folder: the listing, the
// catalogue's skins in it, the installed view's cards, what a reconcile
// would adopt, and the quick check of the records it was handed. Made off
// the GUI thread; a plain value.
struct InstalledScan {
    quint64 generation = 0;
    QString game_dir;
    QString mod_folder;                        // empty without a game folder
    ModFiles files;
    InstalledSkins installed;
    QJsonArray view_records;
    QHash<QString, InstallRecord> adoptable;   // by skin: the record a skin found without one would get
    // The quick check's findings, each with the record it looked at.
    QVector<QPair<InstallRecord, SkinDamage>> quick;
};

// Makes the scan of `game_dir` against `index`; `records` are the store's
// records of that folder, for the quick check and to know which skins
// already have one; an adopted record names the addresses of `endpoints`.
// Any thread.
InstalledScan scan_installed(const QString &game_dir, const SkinFileIndex &index,
                             const QVector<InstallRecord> &records, const ServerEndpoints &endpoints);

// Runs scan_installed on a thread of its own and hands the result to the
// GUI thread. One scan runs at a time; a request while one runs is kept (the
// latest) and runs after it, so the last answer is always of the last
// request. Destroying it waits for a running scan.
class InstalledScanner final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InstalledScanner)

public:
    explicit InstalledScanner(QObject *parent = nullptr);
    ~InstalledScanner() override;

    // Returns the request's generation.
    quint64 request(const QString &game_dir, const SkinFileIndex &index, const QVector<InstallRecord> &records);
    // The same with all the store's records (InstallStore::records()): those
    // of the game's mod folder are picked on the scan's thread.
    quint64 request(const QString &game_dir, const SkinFileIndex &index, const QHash<QString, InstallRecord> &all);
    quint64 latest() const { return m_generation; }
    // The server whose addresses the later requests' adopted records name.
    void set_endpoints(const ServerEndpoints &endpoints) { m_endpoints = endpoints; }

signals:
    void scanned(const InstalledScan &scan);

private:
    struct Request {
        quint64 generation;
        QString game_dir;
        SkinFileIndex index;
        QVector<InstallRecord> records;
        ServerEndpoints endpoints;
        std::optional<QHash<QString, InstallRecord>> all;   // to pick `records` from
    };
    quint64 queue(Request next);
    void start(const Request &request);

    QThread *m_thread = nullptr;
    std::optional<Request> m_waiting;
    quint64 m_generation = 0;
    ServerEndpoints m_endpoints;
};

Q_DECLARE_METATYPE(InstalledScan)
