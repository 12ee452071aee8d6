#include "platform/ReportingApplication.h"

// The entry of the general error report that other modules look up with dlsym.
extern "C" Q_DECL_EXPORT void ExceptionManager(const char* message)
{
    TReportingApplication::Report(QString::fromLocal8Bit(message ? message : ""));
}
