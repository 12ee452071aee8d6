#include "platform/ProgramStarter.h"

#include <QProcess>

namespace {

// Read while the program's statics are made, before main() can put the engine's switches in.
const QProcessEnvironment g_startEnvironment = QProcessEnvironment::systemEnvironment();

} // namespace

QProcessEnvironment ProgramStarter::StartEnvironment()
{
    return g_startEnvironment;
}

bool ProgramStarter::StartDetached(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setProcessEnvironment(g_startEnvironment);
    return process.startDetached();
}
