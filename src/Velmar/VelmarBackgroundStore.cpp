#include "VelmarBackgroundStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <utility>

namespace {
Q_LOGGING_CATEGORY(lcBackground, "pa.velmar.background")

bool sameFile(const QString &a, const QString &b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    if (a == b)
        return true;
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}
} // namespace

VelmarBackgroundStore::VelmarBackgroundStore(const QString &dir, StoreRecord storeRecord)
    : m_dir(dir)
    , m_storeRecord(std::move(storeRecord))
{
}

QString VelmarBackgroundStore::suffixOf(const QString &path)
{
    return QFileInfo(path).suffix();
}

QString VelmarBackgroundStore::currentPath(const RDGroup &group) const
{
    if (group.backgroundImage.isEmpty())
        return QString();
    return QStringLiteral("%1/%2").arg(m_dir, group.backgroundImage);
}

QString VelmarBackgroundStore::uniqueName(const RDGroup &group, const QString &suffix) const
{
    const QString owner = group.conference.isEmpty() ? QString::number(group.id) : group.conference;
    const QString stem = QStringLiteral("%1-%2").arg(owner).arg(QDateTime::currentMSecsSinceEpoch());
    for (int n = 0;; ++n) {
        QString name = n == 0 ? stem : QStringLiteral("%1-%2").arg(stem).arg(n);
        if (!suffix.isEmpty())
            name += QLatin1Char('.') + suffix;
        if (!QFileInfo::exists(QStringLiteral("%1/%2").arg(m_dir, name)))
            return name;
    }
}

bool VelmarBackgroundStore::apply(RDGroup &group, const QString &chosenPath) const
{
    const QString current = currentPath(group);
    RDGroup next = group;

    if (!chosenPath.isEmpty() && sameFile(chosenPath, current)) {
        if (!m_storeRecord(next))
            return false;
        group = next;
        return true;
    }

    QString copied;
    if (chosenPath.isEmpty()) {
        next.backgroundImage.clear();
    } else {
        QDir().mkpath(m_dir);
        next.backgroundImage = uniqueName(group, suffixOf(chosenPath));
        copied = QStringLiteral("%1/%2").arg(m_dir, next.backgroundImage);
        if (!QFile::copy(chosenPath, copied)) {
            qCWarning(lcBackground) << "cannot copy background" << chosenPath << "to" << copied;
            return false;
        }
    }

    if (!m_storeRecord(next)) {
        qCWarning(lcBackground) << "cannot store background of zone" << group.id;
        if (!copied.isEmpty())
            QFile::remove(copied);
        return false;
    }

    if (!current.isEmpty() && QFileInfo::exists(current) && !QFile::remove(current))
        qCWarning(lcBackground) << "cannot remove old background" << current;
    group = next;
    return true;
}
