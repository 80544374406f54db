#pragma once

#include <QList>
#include <QString>

// One running process: its image name and the full path of its executable.
struct ProcessInfo {
    QString name;
    QString exe_path;
};

// The running processes in the order the system hands them out. Processes
// that end during the walk or whose executable path cannot be read are left
// out. `ok` is false (with `error` saying why) only when the list itself
// cannot be had.
struct ProcessListing {
    bool ok = false;
    QString error;
    QList<ProcessInfo> processes;
};

ProcessListing list_processes();
