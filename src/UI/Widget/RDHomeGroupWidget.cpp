#include "RDHomeGroupWidget.h"

#include "Velmar.h"

#include <QLabel>
#include <QListWidget>
#include <QMutexLocker>
#include <QThread>
#include <QVBoxLayout>

RDHomeGroupWidget::RDHomeGroupWidget(QWidget *parent)
    : QWidget(parent)
    , m_list(new QListWidget(this))
    , m_detail(new QLabel(this))
{
    qRegisterMetaType<RDGroup>("RDGroup");
    qRegisterMetaType<QVector<RDDevice>>("QVector<RDDevice>");
    m_list->setObjectName(QStringLiteral("groupList"));
    m_detail->setObjectName(QStringLiteral("groupDetail"));
    m_detail->setWordWrap(true);
    m_detail->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 3);
    layout->addWidget(m_detail, 1);
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int) { reloadDetail(); });
    if (Velmar *velmar = Velmar::instance())
        velmar->addObserver(this);
}

RDHomeGroupWidget::~RDHomeGroupWidget()
{
    // Removal waits for a notification in progress, so none reaches this
    // object once it is gone; queued calls still pending are dropped by Qt.
    if (Velmar *velmar = Velmar::instance())
        velmar->removeObserver(this);
}

bool RDHomeGroupWidget::onGuiThread() const
{
    return QThread::currentThread() == thread();
}

void RDHomeGroupWidget::loadGroups()
{
    Velmar *velmar = Velmar::instance();
    m_groups = velmar ? velmar->getGroups() : QVector<RDGroup>();
    rebuildList();
}

QString RDHomeGroupWidget::lineFor(const RDGroup &group) const
{
    const QString state = group.started ? RDLocalize::text(QStringLiteral("Playing"))
                                        : RDLocalize::text(QStringLiteral("Idle"));
    return QStringLiteral("%1  %2  %3").arg(group.name, group.conference, state);
}

QString RDHomeGroupWidget::lineText(int row) const
{
    QListWidgetItem *item = m_list->item(row);
    return item ? item->text() : QString();
}

void RDHomeGroupWidget::rebuildList()
{
    const int row = m_list->currentRow();
    m_list->clear();
    for (const RDGroup &group : m_groups)
        m_list->addItem(lineFor(group));
    if (!m_groups.isEmpty())
        m_list->setCurrentRow(qBound(0, row, m_groups.size() - 1));
    reloadDetail();
}

void RDHomeGroupWidget::selectRow(int row)
{
    m_list->setCurrentRow(row);
}

void RDHomeGroupWidget::reloadDetail()
{
    const int row = m_list->currentRow();
    if (row < 0 || row >= m_groups.size()) {
        m_detail->clear();
        return;
    }
    Velmar *velmar = Velmar::instance();
    if (velmar) {
        RDGroup fresh = velmar->getGroupById(m_groups[row].id);
        if (fresh.isValid()) {
            // The run state comes from the notifications, not the database.
            static_cast<RDGroupStatus &>(fresh) = static_cast<const RDGroupStatus &>(m_groups[row]);
            m_groups[row] = fresh;
            m_list->item(row)->setText(lineFor(fresh));
        }
    }
    const RDGroup &group = m_groups[row];
    int online = 0;
    {
        QMutexLocker locker(&m_statusLock);
        for (const RDDevice &member : group.deviceList) {
            for (const RDDevice &device : m_onlineDevices) {
                if (device.id == member.id)
                    ++online;
            }
        }
    }
    m_detail->setText(QStringLiteral("%1: %2\n%3: %4\n%5: %6\n%7: %8/%9")
                          .arg(RDLocalize::text(QStringLiteral("Name")), group.name,
                               RDLocalize::text(QStringLiteral("Conference")), group.conference,
                               RDLocalize::text(QStringLiteral("Source")), group.source,
                               RDLocalize::text(QStringLiteral("Online devices")))
                          .arg(online)
                          .arg(group.deviceList.size()));
}

QString RDHomeGroupWidget::detailText() const
{
    return m_detail->text();
}

QStringList RDHomeGroupWidget::onlineNumbers() const
{
    QMutexLocker locker(&m_statusLock);
    QStringList numbers;
    for (const RDDevice &device : m_onlineDevices)
        numbers.append(device.number);
    return numbers;
}

void RDHomeGroupWidget::languageChanged()
{
    rebuildList();
}

void RDHomeGroupWidget::replaceGroup(const RDGroup &group)
{
    for (int i = 0; i < m_groups.size(); ++i) {
        if (m_groups[i].id == group.id) {
            m_groups[i] = group;
            if (QListWidgetItem *item = m_list->item(i))
                item->setText(lineFor(group));
            if (i == m_list->currentRow())
                reloadDetail();
            return;
        }
    }
    // A group the list does not know yet: read them all again.
    loadGroups();
}

void RDHomeGroupWidget::onNotifyDeviceStatusChanged(Velmar *velmar, QVector<RDDevice> devices)
{
    Q_UNUSED(velmar)
    {
        QMutexLocker locker(&m_statusLock);
        m_onlineDevices = devices;
    }
    QMetaObject::invokeMethod(this, "updateDeviceStatus", Qt::QueuedConnection);
}

void RDHomeGroupWidget::updateDeviceStatus()
{
    reloadDetail();
}

void RDHomeGroupWidget::onNotifyGroupStarted(Velmar *velmar, RDGroup group)
{
    Q_UNUSED(velmar)
    if (!onGuiThread()) {
        QMetaObject::invokeMethod(this, "updateGroupStarted", Qt::QueuedConnection, Q_ARG(RDGroup, group));
        return;
    }
    updateGroupStarted(group);
}

void RDHomeGroupWidget::onNotifyGroupStopped(Velmar *velmar, RDGroup group)
{
    Q_UNUSED(velmar)
    if (!onGuiThread()) {
        QMetaObject::invokeMethod(this, "updateGroupStopped", Qt::QueuedConnection, Q_ARG(RDGroup, group));
        return;
    }
    updateGroupStopped(group);
}

void RDHomeGroupWidget::onNotifyGroupPlayChanged(Velmar *velmar, RDGroup group)
{
    Q_UNUSED(velmar)
    if (!onGuiThread()) {
        QMetaObject::invokeMethod(this, "updateNotifyGroupPlayChanged", Qt::QueuedConnection,
                                  Q_ARG(RDGroup, group));
        return;
    }
    updateNotifyGroupPlayChanged(group);
}

void RDHomeGroupWidget::onNotifyDataChanged(Velmar *velmar)
{
    Q_UNUSED(velmar)
    if (!onGuiThread()) {
        QMetaObject::invokeMethod(this, "updateNotifyDataChanged", Qt::QueuedConnection);
        return;
    }
    updateNotifyDataChanged();
}

void RDHomeGroupWidget::updateGroupStarted(RDGroup group)
{
    replaceGroup(group);
}

void RDHomeGroupWidget::updateGroupStopped(RDGroup group)
{
    replaceGroup(group);
}

void RDHomeGroupWidget::updateNotifyGroupPlayChanged(RDGroup group)
{
    // Only the play state moves; the rest of the run state stays as known.
    for (RDGroup &known : m_groups) {
        if (known.id == group.id) {
            known.setPlayStatus(group.playIndex, group.playPosition, group.prayType);
            const RDGroup updated = known;
            replaceGroup(updated);
            return;
        }
    }
    replaceGroup(group);
}

void RDHomeGroupWidget::updateNotifyDataChanged()
{
    loadGroups();
}
