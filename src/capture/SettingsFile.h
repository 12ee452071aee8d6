#pragma once

#include "capture/CaptureChoices.h"
#include "capture/CaptureSettings.h"
#include "common/UserFolders.h"

#include <QByteArray>
#include <QString>

// "config.ini" in the program folder: the settings panel's values, section "Settings".
// A missing file, key or unreadable value gives that key's default.
TCaptureSettings LoadSettingsFile(const QString& programFolder);
// Writes every value but the image format, which each start resets to "jpg".
bool SaveSettingsFile(const QString& programFolder, const TCaptureSettings& settings, QString* error);
QByteArray SettingsFilePath(const QString& programFolder);

// Section "Capture": the Options window's choices. Missing or unreadable keys give their
// defaults; passwords are never in the file.
TCaptureChoices LoadCaptureChoices(const QString& programFolder);
// Replaces the section's keys, keeping the rest of the file. The proxy address loses its password.
bool SaveCaptureChoices(const QString& programFolder, const TCaptureChoices& choices, QString* error);

// The folder whose config.ini the window reads at start, for folders already keyed by the
// brand: the brand's own file; until the user has one, the file every brand shared, then
// the one beside the program.
QString SettingsSourceFolder(const QString& programFolder, const TUserFolders& folders);

// The engine's options from the config.ini a window started from `programFolder` will read,
// found before there is any window: for the brand of the profile beside the program.
TEngineOptions StartupEngineOptions(const QString& programFolder, const TUserFolders& folders);
