#pragma once

#include "core/install/install_record.h"
#include "core/install/install_store.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QVector>

#include <atomic>
#include <functional>

class QThread;

// An installed skin's files against its record, by size and modification
// time only: cheap enough for every opening of the installed view.
SkinDamage quick_damage(const InstallRecord &record);
// quick_damage over the records of `mod_folder`, into the store.
void quick_check(InstallStore &store, const QString &mod_folder);
// Takes quick_damage findings made elsewhere (each with the record it looked
// at; one about a record replaced meanwhile is dropped).
void take_quick_check(InstallStore &store, const QVector<QPair<InstallRecord, SkinDamage>> &found);

// The same, then every file's SHA-256 against the recorded one. A file
// without a recorded hash (a skin installed before records were kept) that
// still has its recorded size and time is hashed too, and its hash handed
// out in `found` (one entry per file, empty where nothing was learnt).
// `on_bytes` is told each block read; a raised `cancel` ends it early with
// None.
SkinDamage full_damage(const InstallRecord &record, const std::atomic<bool> *cancel,
                       const std::function<void(qint64)> &on_bytes, QList<QByteArray> *found = nullptr);

// Runs full_damage over a list of records on a thread of its own and tells
// the GUI thread how far it got. Destroying it stops the run and waits.
class InstallVerifier final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InstallVerifier)

public:
    explicit InstallVerifier(QObject *parent = nullptr);
    ~InstallVerifier() override;

    // Starts a run unless one runs already (false then).
    bool start(const QVector<InstallRecord> &records);
    bool running() const { return m_thread != nullptr; }

signals:
    // 0-100 of the bytes to read.
    void progress(int percent);
    // Each with the record it checked (InstallStore::take_damage drops it
    // when that is no longer the skin's record).
    void checked(const InstallRecord &record, SkinDamage damage);
    // Hashes of files whose record had none (see full_damage).
    void hashes_found(const InstallRecord &record, const QList<QByteArray> &hashes);
    void finished();

private:
    QThread *m_thread = nullptr;
    std::atomic<bool> m_cancel{false};
};
