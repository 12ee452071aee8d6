#pragma once

#include <QByteArray>

#include <atomic>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

// Opens `fifo` for writing after three seconds unless destroyed first, so that a reader
// stuck in open() comes free and a test fails instead of hanging.
class TFifoRescue
{
public:
    explicit TFifoRescue(const QByteArray& fifo)
        : m_thread([this, fifo] {
              for (int i = 0; i < 300 && !m_done; ++i)
                  std::this_thread::sleep_for(std::chrono::milliseconds(10));
              if (m_done) return;
              const int fd = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
              if (fd >= 0) ::close(fd);
          })
    {
    }
    ~TFifoRescue()
    {
        m_done = true;
        m_thread.join();
    }
    TFifoRescue(const TFifoRescue&) = delete;
    TFifoRescue& operator=(const TFifoRescue&) = delete;

private:
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};
