#pragma once

#include "capture/CaptureChoices.h"
#include "capture/CaptureSettings.h"
#include "common/UserFolders.h"

#include <QByteArray>
#include <QString>

// "config.ini" in the program folder: the settings panel's values, section "Settings".
// A missing file, key or unreadable value gives that key's default.
TCaptureSettings LoadSettingsFile(const QString& programFolder);
// Writes every value but the image format, which each start resets to "jpg". The file is
// readable by its owner alone while it holds headers, a user name or a cookies file.
bool SaveSettingsFile(const QString& programFolder, const TCaptureSettings& settings, QString* error);
// Both sections at once: a file written for the first time must not hold one alone, or the
// next start would read the other at its defaults.
bool SaveWholeSettingsFile(const QString& folder, const TCaptureSettings& settings, const TCaptureChoices& choices,
                           QString* error);
QByteArray SettingsFilePath(const QString& programFolder);

// Section "Capture": the Options window's choices. Missing or unreadable keys give their
// defaults; passwords and login headers are never read from the file.
TCaptureChoices LoadCaptureChoices(const QString& programFolder);
// Replaces the section's keys, keeping the rest of the file. The proxy address loses its
// password; Authorization, Proxy-Authorization and Cookie headers last for the session.
bool SaveCaptureChoices(const QString& programFolder, const TCaptureChoices& choices, QString* error);

// The folder whose config.ini the window reads at start, for folders already keyed by the
// brand: the brand's own file; until the user has one, the file every brand shared, then
// the one beside the program.
QString SettingsSourceFolder(const QString& programFolder, const TUserFolders& folders);

// The engine's options from the config.ini a window started from `programFolder` will read,
// found before there is any window: for the brand of the profile beside the program.
TEngineOptions StartupEngineOptions(const QString& programFolder, const TUserFolders& folders);
