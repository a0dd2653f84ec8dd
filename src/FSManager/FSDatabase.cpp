#include "FSDatabase.h"

FSDatabase::~FSDatabase()
{
    close();
}

bool FSDatabase::open(const QString &path, const QString &connectionName)
{
    close();
    if (QSqlDatabase::contains(connectionName))
        QSqlDatabase::removeDatabase(connectionName);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(path);
    if (!db.open()) {
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        m_path.clear();
        m_connectionName.clear();
        m_db = QSqlDatabase();
        return false;
    }
    m_path = path;
    m_connectionName = connectionName;
    m_db = db;
    return true;
}

void FSDatabase::close()
{
    if (m_db.isOpen())
        m_db.close();
    m_db = QSqlDatabase();
    if (!m_connectionName.isEmpty())
        QSqlDatabase::removeDatabase(m_connectionName);
    m_path.clear();
    m_connectionName.clear();
}
