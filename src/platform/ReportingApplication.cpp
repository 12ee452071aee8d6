#include "platform/ReportingApplication.h"

#include <QPointer>

#include <cstdio>
#include <exception>
#include <new>

namespace {

TReportingApplication::Reporter& CurrentReporter()
{
    static TReportingApplication::Reporter reporter;
    return reporter;
}

} // namespace

TReportingApplication::TReportingApplication(int& argc, char** argv) : QApplication(argc, argv) {}

void TReportingApplication::SetReporter(Reporter reporter)
{
    CurrentReporter() = std::move(reporter);
}

void TReportingApplication::Report(const QString& message)
{
    static bool reporting = false;
    if (reporting || !CurrentReporter()) {
        // A report that fails while reporting, or before there is anyone to show it to.
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        return;
    }
    reporting = true;
    CurrentReporter()(message);
    reporting = false;
}

bool TReportingApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::bad_alloc&) {
        Report(QStringLiteral("Out of memory."));
    } catch (const std::exception& e) {
        Report(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        Report(QStringLiteral("An unexpected error occurred."));
    }
    return false;
}
