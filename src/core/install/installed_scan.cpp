#include "core/install/installed_scan.h"

#include "core/install/install_check.h"
#include "core/install/skin_files.h"

#include <QJsonObject>
#include <QPointer>
#include <QSet>
#include <QThread>

#include <memory>
#include <optional>
#include <vector>

InstalledScan scan_installed(const QString &game_dir, const SkinFileIndex &index,
                             const QVector<InstallRecord> &records, const ServerEndpoints &endpoints)
{
    InstalledScan scan;
    scan.game_dir = game_dir;
    scan.mod_folder = game_dir.isEmpty() ? QString() : mod_folder_path(game_dir);
    // With nothing recorded for the folder (a first start, or a lost store)
    // every skin found is adopted: each file's size and time are then taken
    // as the folder is walked, one look a file. Otherwise the few skins to
    // adopt are looked at one by one, and the quick check looks at the
    // records' files as they are at its own moment.
    scan.files = ModFiles::of_game(game_dir, records.isEmpty() ? ModFiles::Stamps::Yes : ModFiles::Stamps::No);
    scan.installed = index.scan(scan.files);
    scan.view_records = installed_view_records(scan.installed, scan.mod_folder);
    if (scan.mod_folder.isEmpty())
        return scan;
    QSet<QString> recorded;
    for (const InstallRecord &record : records) {
        recorded.insert(record.skin_id);
        scan.quick.append({record, quick_damage(record)});
    }
    // Adopting looks at two files a skin: thousands of looks on the first
    // start after an upgrade, which two cores share.
    const QJsonArray &installed = scan.installed.records;
    const QVector<InstalledSkins::Found> &found = scan.installed.found;
    const QVector<ModFiles::Entry> &entries = scan.files.entries();
    const QSet<QString> &known = recorded;
    std::vector<std::optional<InstallRecord>> adopted(static_cast<size_t>(installed.size()));
    const auto entry = [&entries](int at) { return at < 0 ? nullptr : &entries.at(at); };
    const auto adopt = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            const QJsonObject skin = installed.at(i).toObject();
            if (known.contains(skin.value(QStringLiteral("name")).toString()))
                continue;
            const InstalledSkins::Found at = found.value(i);
            adopted[static_cast<size_t>(i)] =
                adopted_record(endpoints, skin, scan.mod_folder, entry(at.pak), entry(at.sig));
        }
    };
    const int count = installed.size();
    if (count - known.size() >= 100 && QThread::idealThreadCount() > 1) {
        std::unique_ptr<QThread> helper(QThread::create(adopt, count / 2, count));
        helper->start();
        adopt(0, count / 2);
        helper->wait();
    } else {
        adopt(0, count);
    }
    scan.adoptable.reserve(count - known.size());
    for (const std::optional<InstallRecord> &record : adopted) {
        if (record)
            scan.adoptable.insert(record->skin_id, *record);
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
    return queue(Request{0, game_dir, index, records, m_endpoints, std::nullopt});
}

quint64 InstalledScanner::request(const QString &game_dir, const SkinFileIndex &index,
                                  const QHash<QString, InstallRecord> &all)
{
    return queue(Request{0, game_dir, index, {}, m_endpoints, all});
}

quint64 InstalledScanner::queue(Request next)
{
    next.generation = ++m_generation;
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
        // Thousands of records are picked here, not on the window's thread.
        const QVector<InstallRecord> records = request.all && !request.game_dir.isEmpty()
            ? records_of_folder(*request.all, mod_folder_path(request.game_dir))
            : request.records;
        InstalledScan scan = scan_installed(request.game_dir, request.index, records, request.endpoints);
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
