#pragma once

#include "RDDevice.h"
#include "RDGroup.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QVector>

#include <QMenu>
class QWidget;
class RDDeviceItemWidget;
class RDDeviceWidget;
class RDGroupMoreWidget;
class RDGroupNameWidget;
class RDGroupNumberWidget;
class RDGroupPriorityWidget;
class RDGroupSourceWidget;
class RDGroupVolumeWidget;
class RDWidget;

// The field column and the device grid that the zone info panel and the
// zone add dialog share: it builds them on the host widget, shows a zone in
// them, reads the edits back into a zone, and runs the device grid's
// editing (picker, menu, modify, delete). Nothing here stores anything.
class RDGroupEditor : public QObject
{
    Q_OBJECT
public:
    explicit RDGroupEditor(QWidget *host);
    ~RDGroupEditor() override;

    RDWidget *column() const { return m_column; }
    RDGroupNumberWidget *numberRow() const { return m_number; }
    RDGroupNameWidget *nameRow() const { return m_name; }
    RDGroupVolumeWidget *volumeRow() const { return m_volume; }
    RDGroupMoreWidget *moreRow() const { return m_more; }
    RDGroupPriorityWidget *priorityRow() const { return m_priority; }
    RDGroupSourceWidget *sourceWidget() const { return m_source; }
    RDDeviceWidget *deviceWidget() const { return m_grid; }
    QMenu *contextMenu() const { return m_menu; }
    RDDevice currentDevice() const { return m_currentDevice; }

    // Column and grid over a w x h host, `reserve` pixels left free below.
    void relayout(int width, int height, int reserve);

    // Fills every row, the source selector and the grid from `group`; the
    // priority box is set only for a stored zone.
    void showGroup(const RDGroup &group);
    // Writes the rows, the source selector and the grid into `group`. An
    // empty number becomes the lowest free conference number (empty when
    // none is free).
    void readInto(RDGroup &group) const;

    // The device grid's editing. Each returns true when the grid changed.
    // Picked devices not in the grid yet are added, ordered by number.
    bool pickDevices();
    // Edits `device`; the edit replaces the entry with its id in `list` and
    // in the grid, and comes back in `edited`.
    bool modifyDevice(const RDDevice &device, QVector<RDDevice> &list, RDDevice &edited);
    // After a confirmation: every selected tile's device leaves the grid.
    bool deleteSelectedDevices();
    // After a confirmation: `device` leaves the grid.
    bool deleteDevice(const RDDevice &device);

    // Calls the device from the PC in the device call dialog (modal).
    void callDevice(const RDDevice &device);

    // Sets the texts the editor owns again.
    void languageChanged();

    // True when any field an editor changes differs between the zones
    // (devices by id; texts case-sensitively).
    static bool differs(const RDGroup &a, const RDGroup &b);
    // Copies the fields of the more dialog's tabs (schedule, SIP trunk,
    // outputs) from one zone into another.
    static void copyMoreFields(const RDGroup &from, RDGroup &to);

signals:
    void menuModify();
    void menuDelete();
    void moreButtonClicked(int index);
    void newDeviceClicked();
    void deviceModifyClicked(RDDevice device);
    void deviceDeleteClicked(RDDevice device);

private:
    void openMenu(RDDeviceItemWidget *item, QPoint point);
    bool confirmDelete();

    QWidget *m_host;
    RDWidget *m_column;
    RDGroupNumberWidget *m_number;
    RDWidget *m_separators[5];
    RDGroupNameWidget *m_name;
    RDGroupVolumeWidget *m_volume;
    RDGroupMoreWidget *m_more;
    RDGroupPriorityWidget *m_priority;
    RDGroupSourceWidget *m_source;
    RDDevice m_currentDevice;
    RDDeviceWidget *m_grid;
    QPointer<QMenu> m_menu;
};
