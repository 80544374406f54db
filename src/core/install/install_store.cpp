#include "core/install/install_store.h"

#include "core/install/skin_files.h"

#include "core/install/installed_skins.h"
#include "core/platform/file_stamp.h"
#include "core/support/config.h"
#include "core/support/folder_identity.h"
#include "core/support/log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaObject>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace {

const QString STORE_FILE_NAME = QStringLiteral("installed_skins.json");

QString time_text(const QDateTime &time)
{
    return time.isValid() ? time.toUTC().toString(Qt::ISODateWithMs) : QString();
}

QDateTime time_of(const QJsonValue &value)
{
    QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    return time.isValid() ? time.toUTC() : QDateTime();
}

QJsonObject file_to_json(const InstalledFile &file)
{
    return {
        {QStringLiteral("path"), file.path},
        {QStringLiteral("url"), file.url},
        {QStringLiteral("size"), static_cast<double>(file.size)},
        {QStringLiteral("sha256"), QString::fromLatin1(file.sha256)},
        {QStringLiteral("etag"), QString::fromLatin1(file.etag)},
        {QStringLiteral("last_modified"), QString::fromLatin1(file.last_modified)},
        {QStringLiteral("modified"), time_text(file.modified)},
    };
}

// A byte count as the store holds it: a JSON number, which may be anything
// a hand or a broken disk left there. What no file can measure is unknown.
qint64 size_of(const QJsonValue &value)
{
    const double size = value.toDouble(-1);
    // 2^53: beyond it a double no longer holds every integer.
    if (!(size >= 0 && size <= 9007199254740992.0) || size != static_cast<double>(static_cast<qint64>(size)))
        return -1;
    return static_cast<qint64>(size);
}

bool file_from_json(const QJsonValue &value, InstalledFile *file)
{
    const QJsonObject object = value.toObject();
    if (!object.value(QStringLiteral("path")).isString() || !object.value(QStringLiteral("size")).isDouble())
        return false;
    file->path = object.value(QStringLiteral("path")).toString();
    file->url = object.value(QStringLiteral("url")).toString();
    file->size = size_of(object.value(QStringLiteral("size")));
    file->sha256 = object.value(QStringLiteral("sha256")).toString().toLatin1();
    file->etag = object.value(QStringLiteral("etag")).toString().toLatin1();
    file->last_modified = object.value(QStringLiteral("last_modified")).toString().toLatin1();
    file->modified = time_of(object.value(QStringLiteral("modified")));
    return is_path_below_folder(file->path);
}

QString skin_url(const ServerEndpoints &endpoints, const QJsonObject &skin, const QString &key)
{
    return endpoints.skin_download_api + QStringLiteral("?MainCategory=")
        + skin.value(QStringLiteral("MainCategory")).toString() + QStringLiteral("&subcategory=")
        + skin.value(QStringLiteral("subcategory")).toString() + QLatin1Char('&') + key + QLatin1Char('=')
        + skin.value(key).toString();
}

// Records in a fixed order: by skin.
void sort_records(QVector<InstallRecord> &records)
{
    std::sort(records.begin(), records.end(),
              [](const InstallRecord &a, const InstallRecord &b) { return a.skin_id < b.skin_id; });
}

} // namespace

QString skin_package_url(const ServerEndpoints &endpoints, const QJsonObject &skin)
{
    return skin_url(endpoints, skin, QStringLiteral("pak_original"));
}

QString skin_signature_url(const ServerEndpoints &endpoints, const QJsonObject &skin)
{
    return skin_url(endpoints, skin, QStringLiteral("sig_original"));
}

QJsonObject install_record_to_json(const InstallRecord &record)
{
    QJsonArray files;
    for (const InstalledFile &file : record.files)
        files.append(file_to_json(file));
    return QJsonObject{
        {QStringLiteral("skin_id"), record.skin_id},
        {QStringLiteral("name"), record.name},
        {QStringLiteral("mod_folder"), record.mod_folder},
        {QStringLiteral("installed_at"), time_text(record.installed_at)},
        {QStringLiteral("revision_known"), record.revision_known},
        {QStringLiteral("files"), files},
    };
}

bool install_record_from_json(const QJsonValue &value, InstallRecord *record)
{
    const QJsonObject object = value.toObject();
    record->skin_id = object.value(QStringLiteral("skin_id")).toString();
    record->name = object.value(QStringLiteral("name")).toString();
    record->mod_folder = object.value(QStringLiteral("mod_folder")).toString();
    record->installed_at = time_of(object.value(QStringLiteral("installed_at")));
    record->revision_known = object.value(QStringLiteral("revision_known")).toBool(false);
    const QJsonValue files = object.value(QStringLiteral("files"));
    if (!files.isArray())
        return false;
    for (const QJsonValue &entry : files.toArray()) {
        InstalledFile file;
        if (!file_from_json(entry, &file))
            return false;
        record->files.append(file);
    }
    return !record->skin_id.isEmpty() && QDir::isAbsolutePath(record->mod_folder) && !record->files.isEmpty();
}

QByteArray install_records_to_json(const QVector<InstallRecord> &records)
{
    QJsonArray skins;
    for (const InstallRecord &record : records)
        skins.append(install_record_to_json(record));
    return QJsonDocument(QJsonObject{{QStringLiteral("version"), 1}, {QStringLiteral("skins"), skins}})
        .toJson(QJsonDocument::Indented);
}

bool is_path_below_folder(const QString &path)
{
    QString cleaned = path;
    // Windows takes either separator, so both count here.
    cleaned.replace(QLatin1Char('\\'), QLatin1Char('/'));
    cleaned = QDir::cleanPath(cleaned);
    const bool drive = cleaned.size() >= 2 && cleaned.at(1) == QLatin1Char(':');
    return !path.isEmpty() && !cleaned.isEmpty() && cleaned != QLatin1String(".") && !drive
        && !cleaned.startsWith(QLatin1Char('/')) && !QDir::isAbsolutePath(cleaned)
        && cleaned != QLatin1String("..") && !cleaned.startsWith(QLatin1String("../"));
}

bool install_records_from_json(const QByteArray &json, QVector<InstallRecord> *records, int *skipped)
{
    if (skipped)
        *skipped = 0;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    const QJsonValue skins = document.object().value(QStringLiteral("skins"));
    if (error.error != QJsonParseError::NoError || !skins.isArray())
        return false;
    records->clear();
    // One bad entry costs only itself: the others still name what is installed.
    for (const QJsonValue &value : skins.toArray()) {
        InstallRecord record;
        if (install_record_from_json(value, &record))
            records->append(record);
        else if (skipped)
            ++*skipped;
    }
    return true;
}

InstallRecord adopted_record(const ServerEndpoints &endpoints, const QJsonObject &skin, const QString &mod_folder,
                             const ModFiles &files)
{
    const SkinFileNames names = skin_file_names(skin);
    return adopted_record(endpoints, skin, mod_folder, names.pak.isEmpty() ? nullptr : files.first_named(names.pak),
                          names.sig.isEmpty() ? nullptr : files.first_named(names.sig));
}

InstallRecord adopted_record(const ServerEndpoints &endpoints, const QJsonObject &skin, const QString &mod_folder,
                             const ModFiles::Entry *package, const ModFiles::Entry *signature)
{
    InstallRecord record;
    record.skin_id = skin.value(QStringLiteral("name")).toString();
    record.name = record.skin_id;
    record.mod_folder = mod_folder;
    record.revision_known = false;
    const QString root = mod_folder + QLatin1Char('/');
    // Both addresses share all but their last parameter.
    const QString base = endpoints.skin_download_api + QStringLiteral("?MainCategory=")
        + skin.value(QStringLiteral("MainCategory")).toString() + QStringLiteral("&subcategory=")
        + skin.value(QStringLiteral("subcategory")).toString() + QLatin1Char('&');
    const QString pak_key = QStringLiteral("pak_original");
    const QString sig_key = QStringLiteral("sig_original");
    record.files.reserve(2);
    for (const auto &[key, found] : {std::pair{pak_key, package}, std::pair{sig_key, signature}}) {
        const QString original = skin.value(key).toString();
        InstalledFile file;
        file.url = base + key + QLatin1Char('=') + original;
        QString path;
        if (found && found->folder.startsWith(root)) {
            path = found->folder + QLatin1Char('/') + found->name;
            file.path = path.mid(root.size());
        } else {
            file.path = skin_file_name(original);
            path = record.path_of(file);
        }
        platform::FileStamp stamp;
        bool stamped = found && found->size >= 0;   // taken with the listing
        if (stamped) {
            stamp.size = found->size;
            stamp.modified_ms = found->modified_ms;
        } else {
            stamped = file_stamp_of(path, &stamp);
        }
        if (stamped) {
            file.size = stamp.size;
            file.modified = QDateTime::fromMSecsSinceEpoch(stamp.modified_ms, Qt::UTC);
        } else {
            const QFileInfo info(path);
            if (info.isFile()) {
                file.size = info.size();
                file.modified = info.lastModified().toUTC();
            }
        }
        record.files.append(file);
    }
    return record;
}

InstallStore::InstallStore(const QString &path, QObject *parent)
    : QObject(parent), m_path(path.isEmpty() ? default_path() : path)
{
    m_writer.setMaxThreadCount(1);
    m_writer.setExpiryTimeout(-1);
}

InstallStore::~InstallStore()
{
    flush();
}

void InstallStore::flush()
{
    m_writer.waitForDone();
}

bool InstallStore::saved()
{
    flush();
    return m_saved;
}

QString InstallStore::default_path()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Furlane/")
        + STORE_FILE_NAME;
}

void InstallStore::load()
{
    flush();
    m_records.clear();
    m_keep_aside = false;
    QFile file(m_path);
    if (!file.exists()) {
        applog::info(QStringLiteral("安装记录不存在，将按模组文件夹建立: ") + QDir::toNativeSeparators(m_path));
        return;
    }
    QVector<InstallRecord> records;
    int skipped = 0;
    if (!file.open(QIODevice::ReadOnly) || !install_records_from_json(file.readAll(), &records, &skipped)) {
        applog::warning(QStringLiteral("安装记录无法读取，将按模组文件夹重建: ") + QDir::toNativeSeparators(m_path));
        // Whatever could still be read from it by hand is not overwritten unseen.
        m_keep_aside = file.exists();
        return;
    }
    if (skipped > 0) {
        applog::warning(QStringLiteral("安装记录中有 %1 项无法读取，已跳过: ").arg(skipped)
                        + QDir::toNativeSeparators(m_path));
        m_keep_aside = true;
    }
    for (const InstallRecord &record : qAsConst(records))
        m_records.insert(record.skin_id, record);
}

QString InstallStore::aside_path() const
{
    return m_path + QStringLiteral(".bad");
}

bool InstallStore::in_folder(const InstallRecord &record, const QString &folder_key) const
{
    auto it = m_folder_keys.constFind(record.mod_folder);
    if (it == m_folder_keys.constEnd())
        it = m_folder_keys.insert(record.mod_folder, folder_identity(record.mod_folder));
    return !folder_key.isEmpty() && it.value() == folder_key;
}

const InstallRecord *InstallStore::find(const QString &skin_id) const
{
    const auto it = m_records.constFind(skin_id);
    return it == m_records.constEnd() ? nullptr : &it.value();
}

QVector<InstallRecord> InstallStore::records_in(const QString &mod_folder) const
{
    return records_of_folder(m_records, mod_folder);
}

QVector<InstallRecord> records_of_folder(const QHash<QString, InstallRecord> &all, const QString &mod_folder)
{
    QVector<InstallRecord> out;
    const QString key = folder_identity(mod_folder);
    if (key.isEmpty())
        return out;
    QHash<QString, QString> keys;   // a handful of spellings among thousands of records
    for (const InstallRecord &record : all) {
        auto known = keys.constFind(record.mod_folder);
        if (known == keys.constEnd())
            known = keys.insert(record.mod_folder, folder_identity(record.mod_folder));
        if (known.value() == key)
            out.append(record);
    }
    sort_records(out);
    return out;
}

void InstallStore::put(const InstallRecord &record)
{
    m_records.insert(record.skin_id, record);
    m_damage.remove(record.skin_id);
    save();
    set_updatable(record.skin_id, false);
    emit skin_changed(record.skin_id);
}

void InstallStore::remove(const QString &skin_id)
{
    const bool known = m_records.remove(skin_id) > 0;
    m_damage.remove(skin_id);
    if (known)
        save();
    set_updatable(skin_id, false);
    emit skin_changed(skin_id);
}

void InstallStore::take(const install_journal::RecordChange &change)
{
    if (change.put)
        put(*change.put);
    if (!change.forget.isEmpty())
        remove(change.forget);
}

install_journal::ApplyRecord InstallStore::taker()
{
    return [this](const install_journal::RecordChange &change) { take(change); };
}

void InstallStore::learn(const QString &skin_id, const QByteArray &etag, const QByteArray &last_modified,
                         qint64 size)
{
    auto it = m_records.find(skin_id);
    if (it == m_records.end() || it->files.isEmpty())
        return;
    InstalledFile &package = it->files.first();
    package.etag = etag;
    package.last_modified = last_modified;
    if (package.size < 0)
        package.size = size;
    it->revision_known = true;
    // Answers come in bursts for every installed skin: one copy for the
    // writer per burst (each copy lets the next change copy the records).
    if (!m_save_queued) {
        m_save_queued = true;
        QMetaObject::invokeMethod(this, [this] {
            m_save_queued = false;
            save_later();
        }, Qt::QueuedConnection);
    }
}

void InstallStore::take_hashes(const QString &skin_id, const QList<QByteArray> &hashes)
{
    auto it = m_records.find(skin_id);
    if (it == m_records.end() || hashes.size() != it->files.size())
        return;
    bool changed = false;
    for (int i = 0; i < hashes.size(); ++i) {
        if (it->files[i].sha256.isEmpty() && !hashes.at(i).isEmpty()) {
            it->files[i].sha256 = hashes.at(i);
            changed = true;
        }
    }
    if (changed)
        save();
}

void InstallStore::reconcile(const QString &mod_folder, const QJsonArray &installed, const ModFiles &files,
                             const QHash<QString, InstallRecord> &adoptable)
{
    // The first start after an upgrade, or after the store was lost: nothing
    // is recorded, and the scan made the record of every skin it found.
    // Those are taken whole rather than one by one.
    if (m_records.isEmpty() && !adoptable.isEmpty() && adoptable.size() == installed.size()
        && std::all_of(installed.begin(), installed.end(), [&](const QJsonValue &value) {
               return adoptable.contains(value.toObject().value(QStringLiteral("name")).toString());
           })) {
        m_records = adoptable;
        save_later();
        emit updatable_count_changed(m_updatable.size());
        return;
    }
    const QString key = folder_identity(mod_folder);
    QSet<QString> just_adopted;
    for (const QJsonValue &value : installed) {
        const QJsonObject skin = value.toObject();
        const QString skin_id = skin.value(QStringLiteral("name")).toString();
        const InstallRecord *record = find(skin_id);
        if (record && in_folder(*record, key))
            continue;
        if (just_adopted.isEmpty())
            m_records.reserve(m_records.size() + installed.size());
        const auto ready = adoptable.constFind(skin_id);
        m_records.insert(skin_id, ready != adoptable.constEnd()
                                      ? *ready
                                      : adopted_record(m_endpoints, skin, mod_folder, files));
        just_adopted.insert(skin_id);
    }
    // Gone by hand or by another program: nothing left to check or repair.
    // Looked at through a const view: while the writer still holds the last
    // snapshot, a changing one would copy every record.
    QStringList gone;
    for (auto it = m_records.constBegin(); it != m_records.constEnd(); ++it) {
        if (just_adopted.contains(it.key()))
            continue;   // found in the listing just now
        const InstallRecord &record = it.value();
        // From the listing: a look at the disk per file would cost as much again.
        const bool any_left = std::any_of(record.files.cbegin(), record.files.cend(),
                                          [&](const InstalledFile &file) { return files.holds(file.path); });
        if (!any_left && in_folder(record, key))
            gone << it.key();
    }
    for (const QString &skin_id : qAsConst(gone)) {
        m_records.remove(skin_id);
        m_damage.remove(skin_id);
        m_updatable.remove(skin_id);
    }
    if (!just_adopted.isEmpty() || !gone.isEmpty()) {
        save_later();
        emit updatable_count_changed(m_updatable.size());
    }
}

QStringList InstallStore::updatable_skins() const
{
    QStringList skins(m_updatable.cbegin(), m_updatable.cend());
    skins.sort();
    return skins;
}

void InstallStore::set_updatable(const QString &skin_id, bool updatable)
{
    if (updatable == m_updatable.contains(skin_id))
        return;
    if (updatable)
        m_updatable.insert(skin_id);
    else
        m_updatable.remove(skin_id);
    emit skin_changed(skin_id);
    emit updatable_count_changed(m_updatable.size());
}

void InstallStore::set_damage(const QString &skin_id, SkinDamage damage)
{
    if (damage == this->damage(skin_id))
        return;
    if (damage == SkinDamage::None)
        m_damage.remove(skin_id);
    else
        m_damage.insert(skin_id, damage);
    emit skin_changed(skin_id);
}

bool same_install(const InstallRecord &a, const InstallRecord &b)
{
    if (a.skin_id != b.skin_id || a.mod_folder != b.mod_folder || a.installed_at != b.installed_at
        || a.files.size() != b.files.size())
        return false;
    for (int i = 0; i < a.files.size(); ++i) {
        if (a.files.at(i).path != b.files.at(i).path || a.files.at(i).modified != b.files.at(i).modified)
            return false;
    }
    return true;
}

bool InstallStore::is_current(const InstallRecord &checked) const
{
    const InstallRecord *record = find(checked.skin_id);
    return record && same_install(*record, checked);
}

void InstallStore::take_damage(const InstallRecord &checked, SkinDamage damage)
{
    if (is_current(checked))
        set_damage(checked.skin_id, damage);
}

void InstallStore::take_hashes(const InstallRecord &checked, const QList<QByteArray> &hashes)
{
    if (is_current(checked))
        take_hashes(checked.skin_id, hashes);
}

void InstallStore::save()
{
    const quint64 serial = ++m_serial;
    const std::lock_guard<std::mutex> lock(m_write_mutex);
    write_file(serial, m_records);
}

void InstallStore::save_later()
{
    bool start = false;
    {
        const std::lock_guard<std::mutex> lock(m_pending_mutex);
        start = !m_pending;
        // A copy of the hash is shared, not copied, until one side changes.
        m_pending = Snapshot{++m_serial, m_records};
    }
    if (start)
        m_writer.start([this] { write_pending(); });
}

void InstallStore::write_pending()
{
    const std::lock_guard<std::mutex> lock(m_write_mutex);
    std::optional<Snapshot> pending;
    {
        const std::lock_guard<std::mutex> taking(m_pending_mutex);
        pending.swap(m_pending);
    }
    if (pending)
        write_file(pending->serial, pending->records);
}

void InstallStore::write_file(quint64 serial, const QHash<QString, InstallRecord> &snapshot)
{
    // A write made at once after this change was queued holds it already.
    if (serial <= m_written)
        return;
    m_written = serial;
    QVector<InstallRecord> records;
    records.reserve(snapshot.size());
    for (const InstallRecord &record : snapshot)
        records.append(record);
    sort_records(records);
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    if (m_keep_aside.exchange(false)) {
        QFile::remove(aside_path());
        if (QFile::copy(m_path, aside_path()))
            applog::warning(QStringLiteral("无法读取的安装记录已另存为: ") + QDir::toNativeSeparators(aside_path()));
        else
            applog::warning(QStringLiteral("无法另存安装记录: ") + QDir::toNativeSeparators(aside_path()));
    }
    QSaveFile file(m_path);
    const bool saved = file.open(QIODevice::WriteOnly) && file.write(install_records_to_json(records)) >= 0
        && file.commit();
    m_saved = saved;
    if (!saved)
        applog::warning(QStringLiteral("无法保存安装记录: ") + QDir::toNativeSeparators(m_path) + QStringLiteral(" - ")
                        + file.errorString());
}
