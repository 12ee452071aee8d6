#pragma once

#include <QApplication>

#include <functional>

// The general error report: an exception that escapes an event handler ends that handler,
// its message is shown in a modal dialog, and the event loop goes on with every window and
// timer as it was.
class TReportingApplication : public QApplication
{
public:
    using Reporter = std::function<void(const QString& message)>;

    TReportingApplication(int& argc, char** argv);

    // Who shows the report; until set, reports go to standard error.
    static void SetReporter(Reporter reporter);
    static void Report(const QString& message);

    bool notify(QObject* receiver, QEvent* event) override;
};
