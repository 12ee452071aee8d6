#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// Other programs (the user's browser and image viewer, the desktop's tools, the updater) get
// the environment this process was started with. What it set for itself since, for its own
// engine (scale, colour scheme, proxy, sandbox, platform), is not theirs to inherit.
namespace ProgramStarter {

// The environment as it was before main() ran, whatever was set since.
QProcessEnvironment StartEnvironment();
// Starts `program` with StartEnvironment() and does not wait for it; false when it could not start.
bool StartDetached(const QString& program, const QStringList& arguments);

} // namespace ProgramStarter
