#include "brand/NewsIdStore.h"

#include "brand/BrandProfile.h"
#include "common/ByteFile.h"

#include <QDir>
#include <QFile>

namespace {

// Digits and a line break; anything longer was not written by us.
constexpr qint64 kMaxFileBytes = 64;

QByteArray StateFilePath(const TUserFolders& folders)
{
    return QFile::encodeName(QDir(folders.State).filePath(QStringLiteral("lastnewsid")));
}

} // namespace

QByteArray LoadLastNewsId(const QString& programFolder, const TUserFolders& folders, QString* error)
{
    const QByteArray profiles = ReadLastNewsId(programFolder, error);
    if (folders.State.isEmpty()) return profiles;
    const QByteArray path = StateFilePath(folders);
    QByteArray users;
    if (ByteFile::RegularFileSize(path) >= 0 && ByteFile::ReadAll(path, &users, error, kMaxFileBytes))
        users = users.trimmed();
    if (!IsNewsId(users)) return profiles;
    // A profile installed later may mark newer news as read for everyone.
    if (IsNewsId(profiles) && profiles.toLongLong() > users.toLongLong()) return profiles;
    return users;
}

bool SaveLastNewsId(const QString& programFolder, const TUserFolders& folders, const QByteArray& value, QString* error)
{
    if (folders.State.isEmpty()) return StoreLastNewsId(programFolder, value, error);
    return AcceptNewsId(value, error) && MakeUserFolder(folders.State, error) &&
           ByteFile::WriteReplacing(StateFilePath(folders), value + '\n', error);
}
