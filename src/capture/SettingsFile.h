#pragma once

#include "capture/CaptureSettings.h"

#include <QByteArray>
#include <QString>

// "config.ini" in the program folder: the settings panel's values, section "Settings".
// A missing file, key or unreadable value gives that key's default.
TCaptureSettings LoadSettingsFile(const QString& programFolder);
// Writes every value but the image format, which each start resets to "jpg".
bool SaveSettingsFile(const QString& programFolder, const TCaptureSettings& settings, QString* error);
QByteArray SettingsFilePath(const QString& programFolder);
