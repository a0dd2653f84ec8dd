#include "LogCapture.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {
std::mutex g_lock;
std::condition_variable g_added;
QStringList g_lines;

void capture(QtMsgType, const QMessageLogContext &, const QString &message)
{
    std::lock_guard<std::mutex> lock(g_lock);
    g_lines.append(message);
    g_added.notify_all();
}
} // namespace

LogCapture::LogCapture()
{
    {
        std::lock_guard<std::mutex> lock(g_lock);
        g_lines.clear();
    }
    m_previous = qInstallMessageHandler(capture);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
}

QStringList LogCapture::lines() const
{
    std::lock_guard<std::mutex> lock(g_lock);
    return g_lines;
}

bool LogCapture::contains(const QString &text) const
{
    return waitFor(text, 0);
}

bool LogCapture::waitFor(const QString &text, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(g_lock);
    return g_added.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (const QString &line : g_lines) {
            if (line.contains(text))
                return true;
        }
        return false;
    });
}
