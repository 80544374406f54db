#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QVector>

// One file of an installed skin, as the install left it.
struct InstalledFile {
    QString path;               // relative to the mod folder, '/'-separated
    QString url;                // the address it was downloaded from
    qint64 size = -1;           // -1 when unknown
    QByteArray sha256;          // lowercase hex; empty when unknown
    QByteArray etag;            // strong ETag of the answer that completed it, empty without
    QByteArray last_modified;   // Last-Modified of that answer, empty without
    QDateTime modified;         // the file's modification time after the install (UTC)

    bool operator==(const InstalledFile &other) const
    {
        return path == other.path && url == other.url && size == other.size && sha256 == other.sha256
            && etag == other.etag && last_modified == other.last_modified && modified == other.modified;
    }
};

// What one install of a skin put into a mod folder. A skin found installed
// without a record of its install (before records were kept, or after the
// store was lost) gets one with an unknown revision: sizes and times from
// the disk, no hashes, no validators until the server is first asked.
struct InstallRecord {
    QString skin_id;
    QString name;
    QString mod_folder;              // absolute, '/'-separated
    QVector<InstalledFile> files;    // the package first, then its signature
    QDateTime installed_at;          // UTC
    bool revision_known = true;

    // Where `file` lies on disk.
    QString path_of(const InstalledFile &file) const { return mod_folder + QLatin1Char('/') + file.path; }

    bool operator==(const InstallRecord &other) const
    {
        return skin_id == other.skin_id && name == other.name && mod_folder == other.mod_folder
            && files == other.files && installed_at == other.installed_at
            && revision_known == other.revision_known;
    }
};

Q_DECLARE_METATYPE(InstallRecord)
