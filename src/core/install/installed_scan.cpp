#include "core/install/installed_scan.h"

#include "core/install/install_check.h"
#include "core/install/skin_files.h"

#include <QJsonObject>
#include <QPointer>
#include <QSet>
#include <QThread>

InstalledScan scan_installed(const QString &game_dir, const SkinFileIndex &index,
                             const QVector<InstallRecord> &records, const ServerEndpoints &endpoints)
{
    InstalledScan scan;
    scan.game_dir = game_dir;
    scan.mod_folder = game_dir.isEmpty() ? QString() : mod_folder_path(game_dir);
    scan.files = ModFiles::of_game(game_dir);
    scan.installed = index.scan(scan.files);
    scan.view_records = installed_view_records(scan.installed, scan.mod_folder);
    if (scan.mod_folder.isEmpty())
        return scan;
    QSet<QString> recorded;
    for (const InstallRecord &record : records) {
        recorded.insert(record.skin_id);
        scan.quick.append({record, quick_damage(record)});
    }
    for (const QJsonValue &value : qAsConst(scan.installed.records)) {
        const QJsonObject skin = value.toObject();
        const QString skin_id = skin.value(QStringLiteral("name")).toString();
        if (!recorded.contains(skin_id))
            scan.adoptable.insert(skin_id, adopted_record(endpoints, skin, scan.mod_folder, scan.files));
    }
    return scan;
}

InstalledScanner::InstalledScanner(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<InstalledScan>();
}

InstalledScanner::~InstalledScanner()
{
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
}

quint64 InstalledScanner::request(const QString &game_dir, const SkinFileIndex &index,
                                  const QVector<InstallRecord> &records)
{
    const Request next{++m_generation, game_dir, index, records, m_endpoints};
    if (m_thread)
        m_waiting = next;
    else
        start(next);
    return next.generation;
}

void InstalledScanner::start(const Request &request)
{
    QPointer<InstalledScanner> self(this);
    m_thread = QThread::create([this, self, request] {
        InstalledScan scan = scan_installed(request.game_dir, request.index, request.records, request.endpoints);
        scan.generation = request.generation;
        QMetaObject::invokeMethod(this, [self, scan] {
            if (self)
                emit self->scanned(scan);
        }, Qt::QueuedConnection);
    });
    connect(m_thread, &QThread::finished, this, [this] {
        m_thread->deleteLater();
        m_thread = nullptr;
        if (m_waiting) {
            const Request next = *m_waiting;
            m_waiting.reset();
            start(next);
        }
    });
    m_thread->start();
}
