#pragma once

#include <functional>

class QObject;

// SIGINT and SIGTERM reach the event loop through a pipe, so a program stops between two
// steps, never halfway through writing a file: `onStop` runs there with the signal's
// number. A second signal ends the program at once. A signal ignored when we started (a
// job started with nohup or in the background) stays ignored. Call once.
bool WatchStopSignals(QObject* context, std::function<void(int)> onStop);
