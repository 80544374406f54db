#pragma once

#include <QString>

// Whether two spellings name the same folder. Steam, the registry, a running
// process and the settings store each spell a folder their own way
// ("c:/program files (x86)/steam" beside "C:\\Program Files (x86)\\Steam"),
// so folders are compared by a key, never by their text.
enum class FolderRules {
    Windows, // case and separators don't count, nor a trailing separator
    Posix,   // the resolved path (links followed where the folder exists)
    Native,  // the rules of the platform this build runs on
};

// The key of a folder: equal keys, same folder. An empty path has an empty key.
QString folder_identity(const QString &path, FolderRules rules = FolderRules::Native);

bool same_folder(const QString &a, const QString &b, FolderRules rules = FolderRules::Native);
