#pragma once

#include "common/UserFolders.h"

#include <QByteArray>
#include <QString>

// The id of the last news item the user read. A portable copy keeps it in the brand
// profile. An installed copy cannot rewrite its profile, so each user keeps it in a
// "lastnewsid" file in the state folder; the profile's value counts when it is higher.
QByteArray LoadLastNewsId(const QString& programFolder, const TUserFolders& folders, QString* error);
// False with the reason when `value` is not a news id or cannot be stored.
bool SaveLastNewsId(const QString& programFolder, const TUserFolders& folders, const QByteArray& value, QString* error);
