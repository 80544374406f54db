#include "core/install/uninstall.h"

#include "core/install/file_ops.h"
#include "core/install/install_journal.h"
#include "core/install/install_store.h"

#include <QFileInfo>

UninstallResult uninstall_files(const QString &mod_folder, const QStringList &paths, const QString &skin_id,
                                InstallStore &store, int end_after_steps)
{
    UninstallResult result;
    if (paths.isEmpty())
        return result;
    const install_journal::Hold hold(false);
    // A step left by a cut install is settled before this one takes the journal.
    if (!hold.held()
        || (!install_journal::finish(mod_folder, store.taker())
            && !install_journal::recover(mod_folder, nullptr, store.taker()))) {
        result.busy = true;
        result.kept = paths;
        return result;
    }
    int steps = 0;
    const auto ended = [&] { return end_after_steps >= 0 && steps++ >= end_after_steps; };

    QVector<install_journal::Entry> entries;
    for (const QString &path : paths) {
        const QString name = install_journal::entry_name(mod_folder, path);
        if (name.isEmpty())
            result.kept << path;
        entries.append({name, true});
    }
    if (!result.kept.isEmpty())
        return result;
    install_journal::RecordChange change;
    change.forget = skin_id;
    if (ended() || !install_journal::write(mod_folder, entries, change).isEmpty()) {
        result.kept = paths;
        return result;
    }
    for (const QString &path : paths) {
        if (ended())
            return result;
        if (!safe_rename(path, install_journal::backup_path(path)))
            result.kept << path;
    }
    if (result.kept.isEmpty() && ended())
        return result;
    if (result.kept.isEmpty() && install_journal::commit(mod_folder).isEmpty()) {
        if (ended())
            return result;
        // The record goes, then the backups, then the journal.
        install_journal::finish(mod_folder, store.taker());
        result.removed = paths;
        return result;
    }
    // Every file back in its place, as a start would do it.
    install_journal::recover(mod_folder, nullptr, store.taker());
    if (result.kept.isEmpty())
        result.kept = paths;
    return result;
}
