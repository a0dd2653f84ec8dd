#pragma once

#include "PALogDB.h"
#include "VDB.h"
#include "VelmarDB.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <sys/stat.h>

// Every test gets its own data folder, so tests never meet on a file.
class DataDirTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        VDB::setDataDir(m_dir.path() + QStringLiteral("/database"));
    }
    void TearDown() override
    {
        // The connections the program keeps open end with the test's folder.
        PALogDB::closeSharedLog();
        VelmarDB::closeIdleConnections();
        VDB::setDataDir(QString());
    }

    QString dataPath(const QString &name) const { return m_dir.path() + QStringLiteral("/database/") + name; }
    QString tempPath(const QString &name) const { return m_dir.path() + QLatin1Char('/') + name; }

    QTemporaryDir m_dir;
};

namespace DbTest {

// Runs statements on a file through a connection of its own; returns the
// rows of the last statement as lists of column texts.
inline QVector<QStringList> exec(const QString &path, const QStringList &statements)
{
    static int counter = 0;
    const QString name = QStringLiteral("dbtest-raw-%1").arg(++counter);
    QVector<QStringList> rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        EXPECT_TRUE(db.open()) << db.lastError().text().toStdString();
        for (const QString &sql : statements) {
            QSqlQuery query(db);
            EXPECT_TRUE(query.exec(sql)) << sql.toStdString() << " -> " << query.lastError().text().toStdString();
            rows.clear();
            while (query.next()) {
                QStringList row;
                for (int i = 0; i < query.record().count(); ++i)
                    row << (query.value(i).isNull() ? QStringLiteral("<null>") : query.value(i).toString());
                rows.append(row);
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

inline QString scalar(const QString &path, const QString &sql)
{
    const QVector<QStringList> rows = exec(path, {sql});
    return rows.isEmpty() || rows.first().isEmpty() ? QString() : rows.first().first();
}

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

inline ino_t inode(const QString &path)
{
    struct stat info {};
    return ::stat(path.toLocal8Bit().constData(), &info) == 0 ? info.st_ino : 0;
}

} // namespace DbTest
