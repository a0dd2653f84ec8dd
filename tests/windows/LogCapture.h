#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Keeps every log line the program writes while it exists (from any
// thread), for tests that look for one.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const;
    bool contains(const QString &text) const;
    // Waits until a line contains `text`; false after `timeoutMs`.
    bool waitFor(const QString &text, int timeoutMs) const;

private:
    QtMessageHandler m_previous;
};
