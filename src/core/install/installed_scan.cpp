#include "core/install/installed_scan.h"

#include "core/install/install_check.h"
#include "core/install/skin_files.h"

#include <QJsonObject>
#include <QPointer>
#include <QSet>
#include <QThread>

#include <memory>
#include <vector>

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
    struct Unrecorded {
        QJsonObject skin;
        InstalledSkins::Found found;
    };
    std::vector<Unrecorded> unrecorded;
    for (int i = 0; i < scan.installed.records.size(); ++i) {
        const QJsonObject skin = scan.installed.records.at(i).toObject();
        if (!recorded.contains(skin.value(QStringLiteral("name")).toString()))
            unrecorded.push_back({skin, scan.installed.found.value(i)});
    }
    // Adopting looks at two files a skin: thousands of looks on the first
    // start after an upgrade, which two cores share.
    std::vector<InstallRecord> adopted(unrecorded.size());
    const QVector<ModFiles::Entry> &entries = scan.files.entries();
    const auto entry = [&entries](int at) { return at < 0 ? nullptr : &entries.at(at); };
    const auto adopt = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i) {
            const Unrecorded &skin = unrecorded[i];
            adopted[i] = adopted_record(endpoints, skin.skin, scan.mod_folder, entry(skin.found.pak),
                                        entry(skin.found.sig));
        }
    };
    const size_t half = unrecorded.size() / 2;
    if (unrecorded.size() >= 100 && QThread::idealThreadCount() > 1) {
        std::unique_ptr<QThread> helper(QThread::create(adopt, half, unrecorded.size()));
        helper->start();
        adopt(0, half);
        helper->wait();
    } else {
        adopt(0, unrecorded.size());
    }
    scan.adoptable.reserve(int(adopted.size()));
    for (const InstallRecord &record : adopted)
        scan.adoptable.insert(record.skin_id, record);
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
