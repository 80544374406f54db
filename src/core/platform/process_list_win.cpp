#include "core/platform/process_list.h"

#include "core/platform/win_processes.h"

#include <QDir>

ProcessListing list_processes()
{
    const WinProcessListing found = list_win_processes();
    ProcessListing listing;
    listing.ok = found.ok;
    listing.error = QString::fromStdWString(found.error);
    for (const WinProcess &process : found.processes)
        listing.processes.append({QString::fromStdWString(process.name),
                                  QDir::fromNativeSeparators(QString::fromStdWString(process.exe_path))});
    return listing;
}
