#pragma once

#include "core/install/install_journal.h"
#include "core/install/install_record.h"
#include "core/install/installed_skins.h"
#include "core/net/server_endpoints.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThreadPool>
#include <QVector>

#include <atomic>
#include <mutex>
#include <optional>



// What is wrong with an installed skin's files, measured against its record.
enum class SkinDamage {
    None,
    Missing,   // a file of the pair is gone
    Resized,   // a file has another size
    Changed,   // same size, other bytes (or another modification time)
};
Q_DECLARE_METATYPE(SkinDamage)

// The records of what each install put into the mod folder, kept in a small
// JSON file in the program's data folder (never in the mod folder), and the
// states the checks found: which skins the server has a newer build of, and
// which are damaged. Only the records are stored; the states are found
// afresh by each run. GUI thread only; the file itself is written by one
// writer at a time, either at once (what a journal hands over must be on
// disk before the journal goes) or, for bulk changes, on a thread of its own.
class InstallStore final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InstallStore)

public:
    // The store file; empty `path` is the data folder's "installed_skins.json".
    explicit InstallStore(const QString &path = QString(), QObject *parent = nullptr);
    // Waits for a write still running in the background.
    ~InstallStore() override;

    static QString default_path();
    QString path() const { return m_path; }

    // Reads the file. A missing one, or one that cannot be read as a store,
    // is logged and the records are rebuilt from the mod folder at the next
    // reconcile, whose write replaces it. An entry that is no record is
    // logged and skipped; the others stay. A file that could not be read
    // whole is copied to aside_path() before it is first written. Never fails.
    void load();
    QString aside_path() const;

    const InstallRecord *find(const QString &skin_id) const;
    // The records of installs into `mod_folder`, in whatever spelling
    // (folder_identity).
    QVector<InstallRecord> records_in(const QString &mod_folder) const;
    // Every record, shared until either side changes: records_of_folder()
    // picks a folder's on another thread.
    QHash<QString, InstallRecord> records() const { return m_records; }

    // An install finished: its record replaces the skin's old one, and the
    // skin is neither updatable nor damaged any more.
    void put(const InstallRecord &record);
    // An uninstall: the record goes.
    void remove(const QString &skin_id);
    // What a committed install or uninstall did (see install_journal).
    void take(const install_journal::RecordChange &change);
    // take, as the journal's settle wants it.
    install_journal::ApplyRecord taker();
    // Takes what the server answered for a record whose revision was
    // unknown (or whose validators were missing): its validators and size.
    void learn(const QString &skin_id, const QByteArray &etag, const QByteArray &last_modified, qint64 size);

    // Takes the hashes a full check found for files whose record had none
    // (one per file, empty where none was found).
    void take_hashes(const QString &skin_id, const QList<QByteArray> &hashes);

    // Brings the records of `mod_folder` in line with what lies there:
    // an installed catalogue skin (`installed` holds their records, found in
    // `files`) without a record gets one with an unknown revision; a record
    // none of whose files is left on disk goes.
    // `adoptable` may hold the records a scan made ahead (off the GUI
    // thread) for skins without one; others are made here, with the
    // addresses of endpoints().
    void reconcile(const QString &mod_folder, const QJsonArray &installed, const ModFiles &files,
                   const QHash<QString, InstallRecord> &adoptable = {});
    // The server whose addresses the records adopted here name.
    const ServerEndpoints &endpoints() const { return m_endpoints; }
    void set_endpoints(const ServerEndpoints &endpoints) { m_endpoints = endpoints; }

    // --- states found by the checks
    bool updatable(const QString &skin_id) const { return m_updatable.contains(skin_id); }
    QStringList updatable_skins() const;
    void set_updatable(const QString &skin_id, bool updatable);
    SkinDamage damage(const QString &skin_id) const { return m_damage.value(skin_id, SkinDamage::None); }
    void set_damage(const QString &skin_id, SkinDamage damage);

    // --- results of checks that ran while the program went on: each names
    // the record it checked, and is dropped once that is no longer the
    // skin's record (reinstalled, updated, repaired or uninstalled meanwhile)
    bool is_current(const InstallRecord &checked) const;
    void take_damage(const InstallRecord &checked, SkinDamage damage);
    void take_hashes(const InstallRecord &checked, const QList<QByteArray> &hashes);

    // Whether the last write of the file succeeded (a failure is logged);
    // waits for one still running in the background.
    bool saved();
    // Waits until every change so far is written.
    void flush();

signals:
    // The skin's record or one of its states changed.
    void skin_changed(const QString &skin_id);
    // The number of updatable skins changed.
    void updatable_count_changed(int count);

private:
    // Writes the records now, after any write still running.
    void save();
    // Writes them in the background: adopting thousands of skins must not
    // hold the window while their JSON is made and written.
    void save_later();
    void write_pending();
    // Writes `records` as change number `serial`, unless a later change was
    // written already. Holds m_write_mutex.
    void write_file(quint64 serial, const QHash<QString, InstallRecord> &records);
    // Whether `record` was installed into the folder of identity `folder_key`.
    bool in_folder(const InstallRecord &record, const QString &folder_key) const;

    QString m_path;
    ServerEndpoints m_endpoints;
    std::atomic<bool> m_keep_aside{false};
    mutable QHash<QString, QString> m_folder_keys;   // folder spelling -> folder_identity
    QHash<QString, InstallRecord> m_records;   // by skin_id
    QSet<QString> m_updatable;
    QHash<QString, SkinDamage> m_damage;
    std::atomic<bool> m_saved{true};
    bool m_save_queued = false;

    struct Snapshot {
        quint64 serial = 0;
        QHash<QString, InstallRecord> records;
    };
    quint64 m_serial = 0;               // changes handed to a write so far
    std::mutex m_pending_mutex;
    std::optional<Snapshot> m_pending;  // the latest change waiting for the writer
    std::mutex m_write_mutex;           // one writer of the file at a time
    quint64 m_written = 0;              // the last change written (under m_write_mutex)
    QThreadPool m_writer;
};

// The store's file contents and back. from_json is false for text that is
// no store; otherwise it gives every entry that is a whole record and counts
// the others in `skipped`. A size that no file can have reads as unknown.
QByteArray install_records_to_json(const QVector<InstallRecord> &records);
bool install_records_from_json(const QByteArray &json, QVector<InstallRecord> *records, int *skipped = nullptr);

// Whether two records describe one install of a skin: what the program
// learns about it later (validators, hashes) does not count, another install
// (another time or other files) does.
bool same_install(const InstallRecord &a, const InstallRecord &b);

// One record as the store (and the install journal) writes it, and back:
// false for an entry that is no whole record of ours.
QJsonObject install_record_to_json(const InstallRecord &record);
bool install_record_from_json(const QJsonValue &value, InstallRecord *record);

// Whether a record's relative file path stays below its mod folder: not
// absolute, no drive, no ".." step out, in either separator.
bool is_path_below_folder(const QString &path);

// The records of `all` whose mod folder is `mod_folder` in any spelling
// (folder_identity), by skin: what InstallStore::records_in answers, for a
// copy of the store's records. Any thread.
QVector<InstallRecord> records_of_folder(const QHash<QString, InstallRecord> &all, const QString &mod_folder);

// The record of a skin found installed without one: its files as they lie
// below `mod_folder` (the first copy of each name in `files`), an unknown
// revision, the addresses it would be downloaded from (on the server of
// `endpoints`).
InstallRecord adopted_record(const ServerEndpoints &endpoints, const QJsonObject &skin, const QString &mod_folder,
                             const ModFiles &files);
// The same where the listing's first copies are known already (nothing
// where it holds none).
InstallRecord adopted_record(const ServerEndpoints &endpoints, const QJsonObject &skin, const QString &mod_folder,
                             const ModFiles::Entry *package, const ModFiles::Entry *signature);

// The download addresses of a catalogue record's package and signature on
// the server of `endpoints`.
QString skin_package_url(const ServerEndpoints &endpoints, const QJsonObject &skin);
QString skin_signature_url(const ServerEndpoints &endpoints, const QJsonObject &skin);
