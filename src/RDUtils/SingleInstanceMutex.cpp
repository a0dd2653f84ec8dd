#include "SingleInstanceMutex.h"

#include "PlatformInstanceLock.h"

#include <QDebug>
#include <QTextCodec>

#include <cstdio>
#include <cstring>

SingleInstanceMutex::SingleInstanceMutex(const char *name) : m_handle(-1)
{
    std::snprintf(m_name, sizeof m_name, "%s", name ? name : "");
}

SingleInstanceMutex::~SingleInstanceMutex() = default;

bool SingleInstanceMutex::acquire()
{
    QTextCodec::ConverterState state;
    QTextCodec *utf8 = QTextCodec::codecForName("UTF-8");
    const QString wide = utf8->toUnicode(m_name, static_cast<int>(std::strlen(m_name)), &state);
    if (state.invalidChars > 0 || state.remainingChars > 0)
        return false;

    const QByteArray path = Platform::instanceLockPath(wide.toUtf8());
    const int handle = Platform::tryLockFile(path.constData());
    if (handle == Platform::InstanceLockBusy)
        return false;
    if (handle == Platform::InstanceLockFailed) {
        qWarning("single-instance lock %s could not be made; starting without it", path.constData());
        return true;
    }
    if (m_handle >= 0) {
        // Already held through this object: a second mark of the same name
        // is refused like any other, and the first stays held.
        Platform::unlockFile(handle);
        return false;
    }
    m_handle = handle;
    return true;
}

bool SingleInstanceMutex::release()
{
    if (m_handle < 0)
        return false;
    Platform::unlockFile(m_handle);
    m_handle = -1;
    return true;
}
