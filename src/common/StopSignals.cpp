#include "common/StopSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_stopPipe[2] = {-1, -1};

void OnStopSignal(int signalNumber)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t n = ::write(g_stopPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

bool WatchStopSignals(QObject* context, std::function<void(int)> onStop)
{
    if (::pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    auto* notifier = new QSocketNotifier(g_stopPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [notifier, onStop = std::move(onStop)] {
        unsigned char byte = 0;
        if (::read(g_stopPipe[0], &byte, 1) != 1) return;
        notifier->setEnabled(false);
        onStop(byte);
    });
    for (const int signalNumber : {SIGINT, SIGTERM}) {
        struct sigaction old = {};
        if (::sigaction(signalNumber, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        struct sigaction action = {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART | SA_RESETHAND;
        if (::sigaction(signalNumber, &action, nullptr) != 0) return false;
    }
    return true;
}
