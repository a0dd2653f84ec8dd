#include "VelmarTimedThread.h"

#include "QBreakpadHandler.h"
#include "VelmarDB.h"

#include <QElapsedTimer>

#include <memory>

VelmarTimedThread::VelmarTimedThread(int periodMs)
    : m_periodMs(periodMs)
{
    auto steady = std::make_shared<QElapsedTimer>();
    steady->start();
    m_clock.now = [] { return QDateTime::currentDateTime(); };
    m_clock.steadyMs = [steady] { return steady->elapsed(); };
}

void VelmarTimedThread::run()
{
    QBreakpadHandler::installAlternateStack();
    VelmarDB database(true);
    VelmarDB::registerDB(&database);

    while (!isStopped()) {
        // Not usable while a database import runs.
        if (!database.reopenIfNeeded()) {
            sleep(1000);
            continue;
        }
        QVector<RDGroup> groups = database.selectGroups();
        pass(database, groups, m_clock.now(), m_clock.steadyMs());
        sleep(m_periodMs);
    }

    VelmarDB::unregisterDB(&database);
    database.close();
}
