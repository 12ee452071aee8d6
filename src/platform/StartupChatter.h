#pragma once

#include <QString>
#include <QtGlobal>

// Qt and its web engine describe their set-up at every start of a program without a screen
// or a GPU ("Sandboxing disabled by user.", "No suitable graphics backend found", ...).
// None of it is news to a user, and it buries what is.
namespace StartupChatter {

// Whether a message is one of those set-up notes; anything else, warnings and errors
// included, is not.
bool Is(QtMsgType type, const QString& message);

// Drops those notes from now on; every other message goes where it went before.
void Quiet();

} // namespace StartupChatter
