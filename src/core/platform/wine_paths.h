#pragma once

#include <QByteArray>
#include <QString>

// How a game run by Wine or Proton looks from Linux: /proc/<pid>/exe is the
// Wine loader, and the first field of /proc/<pid>/cmdline is the program as
// Wine was asked to run it (a Unix path, a Windows path such as "Z:\..." or
// "C:\...", or a path relative to the process's working folder).

// True when `exe_path` is one of Wine's loaders (wine, wine64,
// wine64-preloader, ...).
bool is_wine_loader(const QString &exe_path);

// The program path in a process's raw cmdline (NUL-separated fields): the
// first field, cut after ".exe" when arguments were glued onto it.
QString wine_program_path(const QByteArray &cmdline);

// The Wine prefix named by a process's raw environ block: WINEPREFIX, otherwise
// $HOME/.wine; empty when neither is there.
QString wine_prefix_from_environ(const QByteArray &env_block);

// The Unix path of a program path taken from a Wine process. "Z:\" is the
// Unix root; other drives go through `prefix`/dosdevices; relative paths are
// taken from `cwd`. Windows paths ignore case, so a component missing on
// disk is matched case-insensitively. Empty when the path cannot be mapped.
QString unix_path_from_wine(const QString &program, const QString &prefix, const QString &cwd);
