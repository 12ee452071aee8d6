#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Where the window keeps what it writes. A portable copy keeps it all in the program
// folder; an installed copy, whose folder is read-only or belongs to the system, keeps it
// per user in the XDG base folders. An empty field means the program folder.
struct TUserFolders
{
    QString Settings; // config.ini
    QString Cache;    // mainappupdate.inf
    QString State;    // the last news item read; empty: kept in the brand profile

    bool PerUser() const { return !Settings.isEmpty(); }
};

// Reads one environment variable; empty when unset.
using TEnvironment = std::function<QByteArray(const char* name)>;

// A folder under /usr is the system's, even for root, who could write it.
bool IsPortableFolder(const QString& programFolder, bool writable);

// The per-user folders as the XDG base directory rules give them: $XDG_CONFIG_HOME,
// $XDG_CACHE_HOME and $XDG_STATE_HOME when set to an absolute path, else ~/.config,
// ~/.cache and ~/.local/state; each with "thumbrix" appended. Empty folders when the home
// folder is unknown too.
TUserFolders XdgUserFolders(const TEnvironment& environment);

// Resolves for this process: the program folder's writability and the real environment.
TUserFolders UserFoldersFor(const QString& programFolder);

// Makes `path` and any missing parents, each new one private to the user (0700) as the
// XDG rules ask. True when the folder exists at the end.
bool MakeUserFolder(const QString& path, QString* error);
