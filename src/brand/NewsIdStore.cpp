#include "brand/NewsIdStore.h"

#include "brand/BrandProfile.h"
#include "common/ByteFile.h"

#include <QDir>
#include <QFile>

namespace {

// Digits and a line break; anything longer was not written by us.
constexpr qint64 kMaxFileBytes = 64;

QByteArray StateFilePath(const QString& folder)
{
    return QFile::encodeName(QDir(folder).filePath(QStringLiteral("lastnewsid")));
}

// The id in the user's file in `folder`; empty when there is none we wrote.
QByteArray UsersNewsId(const QString& folder, QString* error)
{
    const QByteArray path = StateFilePath(folder);
    QByteArray users;
    if (ByteFile::RegularFileSize(path) >= 0 && ByteFile::ReadAll(path, &users, error, kMaxFileBytes))
        users = users.trimmed();
    return IsNewsId(users) ? users : QByteArray();
}

} // namespace

QByteArray LoadLastNewsId(const QString& programFolder, const TUserFolders& folders, QString* error)
{
    const QByteArray profiles = ReadLastNewsId(programFolder, error);
    if (folders.State.isEmpty()) return profiles;
    QByteArray users = UsersNewsId(folders.State, error);
    // Until the brand has a file of its own, the one every copy shared before still counts.
    if (users.isEmpty() && !folders.SharedState.isEmpty() &&
        ByteFile::RegularFileSize(StateFilePath(folders.State)) < 0)
        users = UsersNewsId(folders.SharedState, error);
    if (users.isEmpty()) return profiles;
    // A profile installed later may mark newer news as read for everyone.
    if (IsNewsId(profiles) && profiles.toLongLong() > users.toLongLong()) return profiles;
    return users;
}

bool SaveLastNewsId(const QString& programFolder, const TUserFolders& folders, const QByteArray& value, QString* error)
{
    if (folders.State.isEmpty()) return StoreLastNewsId(programFolder, value, error);
    return AcceptNewsId(value, error) && MakeUserFolder(folders.State, error) &&
           ByteFile::WriteReplacing(StateFilePath(folders.State), value + '\n', error);
}
