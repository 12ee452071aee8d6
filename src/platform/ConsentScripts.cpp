#include "platform/ConsentScripts.h"

#include <QWebEngineScript>

namespace ConsentScripts {

QList<QWebEngineScript> Scripts()
{
    return {};
}

QString StateQuery()
{
    return QStringLiteral("''");
}

} // namespace ConsentScripts
