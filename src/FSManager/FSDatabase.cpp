#include "FSDatabase.h"

#include <QSqlQuery>

FSDatabase::FSDatabase() = default;

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

QSqlQuery *FSDatabase::prepared(const QString &sql)
{
    if (!m_db.isOpen())
        return nullptr;
    auto it = m_statements.find(sql);
    if (it != m_statements.end())
        return it->second.get();
    auto query = std::make_unique<QSqlQuery>(m_db);
    query->setForwardOnly(true);
    if (!query->prepare(sql))
        return nullptr;
    return m_statements.emplace(sql, std::move(query)).first->second.get();
}

void FSDatabase::close()
{
    // Statements go before their connection does.
    m_statements.clear();
    if (m_db.isOpen())
        m_db.close();
    m_db = QSqlDatabase();
    if (!m_connectionName.isEmpty())
        QSqlDatabase::removeDatabase(m_connectionName);
    m_path.clear();
    m_connectionName.clear();
}
