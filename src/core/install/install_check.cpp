#include "core/install/install_check.h"

#include "core/support/sha256.h"

#include <QFileInfo>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

#include <algorithm>

namespace {

// Whole seconds: what every file system the game runs on keeps.
bool same_time(const QFileInfo &info, const InstalledFile &file)
{
    return !file.modified.isValid() || info.lastModified().toSecsSinceEpoch() == file.modified.toSecsSinceEpoch();
}

// A file gone, or one of another size, whatever its bytes.
SkinDamage presence_damage(const InstallRecord &record)
{
    SkinDamage worst = SkinDamage::None;
    for (const InstalledFile &file : record.files) {
        const QFileInfo info(record.path_of(file));
        if (!info.isFile())
            return SkinDamage::Missing;
        if (file.size >= 0 && info.size() != file.size)
            worst = SkinDamage::Resized;
    }
    return worst;
}

} // namespace

SkinDamage quick_damage(const InstallRecord &record)
{
    const SkinDamage presence = presence_damage(record);
    if (presence != SkinDamage::None)
        return presence;
    for (const InstalledFile &file : record.files) {
        if (!same_time(QFileInfo(record.path_of(file)), file))
            return SkinDamage::Changed;
    }
    return SkinDamage::None;
}

void quick_check(InstallStore &store, const QString &mod_folder)
{
    QVector<QPair<InstallRecord, SkinDamage>> found;
    for (const InstallRecord &record : store.records_in(mod_folder))
        found.append({record, quick_damage(record)});
    take_quick_check(store, found);
}

void take_quick_check(InstallStore &store, const QVector<QPair<InstallRecord, SkinDamage>> &found)
{
    for (const auto &[record, damage] : found) {
        // Other bytes of the same size show only to the full check: its
        // finding stands until a reinstall.
        if (store.is_current(record) && (damage != SkinDamage::None || store.damage(record.skin_id) != SkinDamage::Changed))
            store.set_damage(record.skin_id, damage);
    }
}

SkinDamage full_damage(const InstallRecord &record, const std::atomic<bool> *cancel,
                       const std::function<void(qint64)> &on_bytes, QList<QByteArray> *found)
{
    const SkinDamage presence = presence_damage(record);
    if (presence != SkinDamage::None)
        return presence;
    if (found) {
        found->clear();
        for (int i = 0; i < record.files.size(); ++i)
            found->append(QByteArray());
    }
    for (int i = 0; i < record.files.size(); ++i) {
        const InstalledFile &file = record.files.at(i);
        const QString path = record.path_of(file);
        // Nothing recorded to compare with: what lies there is taken as
        // installed only while it is still as it was found.
        const bool learn = file.sha256.isEmpty() && found && file.modified.isValid()
            && same_time(QFileInfo(path), file);
        if (file.sha256.isEmpty() && !learn)
            continue;
        QString error;
        const QByteArray hash = sha256_of_file(path, cancel, on_bytes, &error);
        if (cancel && cancel->load())
            return SkinDamage::None;
        if (learn) {
            (*found)[i] = hash;
            continue;
        }
        // A file that cannot be read cannot be what was installed.
        if (hash != file.sha256)
            return SkinDamage::Changed;
    }
    return SkinDamage::None;
}

InstallVerifier::InstallVerifier(QObject *parent) : QObject(parent) {}

InstallVerifier::~InstallVerifier()
{
    m_cancel.store(true);
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
}

bool InstallVerifier::start(const QVector<InstallRecord> &records)
{
    if (m_thread)
        return false;
    m_cancel.store(false);
    qint64 total = 0;
    for (const InstallRecord &record : records) {
        for (const InstalledFile &file : record.files)
            total += qMax<qint64>(QFileInfo(record.path_of(file)).size(), 0);
    }
    QPointer<InstallVerifier> self(this);
    m_thread = QThread::create([this, self, records, total] {
        qint64 done = 0;
        int shown = -1;
        const auto on_bytes = [&](qint64 bytes) {
            done += bytes;
            const int percent = total > 0 ? static_cast<int>(qMin<qint64>(done * 100 / total, 100)) : 100;
            if (percent == shown)
                return;
            shown = percent;
            QMetaObject::invokeMethod(this, [self, percent] {
                if (self)
                    emit self->progress(percent);
            }, Qt::QueuedConnection);
        };
        for (const InstallRecord &record : records) {
            QList<QByteArray> found;
            const SkinDamage damage = full_damage(record, &m_cancel, on_bytes, &found);
            if (m_cancel.load())
                return;
            QMetaObject::invokeMethod(this, [self, record, damage, found] {
                if (!self)
                    return;
                if (std::any_of(found.cbegin(), found.cend(), [](const QByteArray &hash) { return !hash.isEmpty(); }))
                    emit self->hashes_found(record, found);
                emit self->checked(record, damage);
            }, Qt::QueuedConnection);
        }
    });
    connect(m_thread, &QThread::finished, this, [this] {
        m_thread->deleteLater();
        m_thread = nullptr;
        if (!m_cancel.load())
            emit finished();
    });
    m_thread->start();
    return true;
}
