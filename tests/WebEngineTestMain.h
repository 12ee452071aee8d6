#pragma once

#include <QApplication>
#include <QTest>

// Qt WebEngine off screen, as root, without a GPU; set before the application exists.
inline void PrepareHeadlessWebEngine()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

#define THUMBRIX_WEBENGINE_TEST_MAIN(TestClass)                                                                        \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        PrepareHeadlessWebEngine();                                                                                    \
        QApplication app(argc, argv);                                                                                  \
        TestClass test;                                                                                                \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }
