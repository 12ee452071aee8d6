#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <utility>

// Where the window keeps what it writes. A portable copy keeps it all in the program
// folder; an installed copy, whose folder is read-only or belongs to the system, keeps it
// per user in the XDG base folders. An empty field means the program folder.
struct TUserFolders
{
    TUserFolders() = default;
    TUserFolders(QString settings, QString cache, QString state)
        : Settings(std::move(settings)), Cache(std::move(cache)), State(std::move(state))
    {
    }

    QString Settings; // config.ini
    QString Cache;    // mainappupdate.inf
    QString State;    // the last news item read; empty: kept in the brand profile
    // Where a copy keyed by no brand keeps them, as every copy did before: read until the
    // brand has files of its own. Empty when these are the plain folders.
    QString SharedSettings;
    QString SharedState;

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

// The folders of the installed copies of one brand, the profile's BranderCode: its settings
// and the news read lie in a folder of the brand's own, so one reseller's news read is not
// another's. The cache holds only the update information, the same for every brand, and
// stays shared. A portable copy, or a copy without a brand, keeps the folders as they are.
TUserFolders ForBrand(const TUserFolders& folders, const QByteArray& branderCode);

// Resolves for this process: the program folder's writability and the real environment.
TUserFolders UserFoldersFor(const QString& programFolder);

// Makes `path` and any missing parents, each new one private to the user (0700) as the
// XDG rules ask. True when the folder exists at the end.
bool MakeUserFolder(const QString& path, QString* error);
