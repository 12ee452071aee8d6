#pragma once

#include "capture/CaptureOptions.h"

// Puts the options the engine takes only at start-up where it reads them: Chromium's
// switches in QTWEBENGINE_CHROMIUM_FLAGS (after any the user set), the device scale in
// QT_SCALE_FACTOR. Call before the application object is made.
void PrepareEngineSwitches(const TEngineOptions& options);
