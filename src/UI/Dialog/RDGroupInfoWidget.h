#pragma once

#include "RDDevice.h"
#include "RDGroup.h"
#include "RDLocalize.h"
#include "RDLabel.h"
#include "RDToast.h"

#include <QVector>

class RDGroupEditor;

// The home screen's right-hand panel: the selected zone's fields beside the
// grid of its devices. It keeps the zone it shows (the panel zone, the
// baseline of the change test) and leaves storing to its owner through the
// request signals.
//
// Edits stay until they are stored: showing the same zone again while it has
// unsaved edits (a start, stop or play notification, a reload, a failed
// store) refreshes only the run state, and the more dialog's results wait
// beside the panel zone until the owner stores them and shows the result.
class RDGroupInfoWidget : public RDToast, public RDLocalize
{
    Q_OBJECT
public:
    explicit RDGroupInfoWidget(QWidget *parent = nullptr);
    ~RDGroupInfoWidget() override;

    void setGroup(const RDGroup &group);
    RDGroup readGroup() const;
    bool isChanged(const RDGroup &group) const;
    RDGroup &group() { return m_group; }
    void updateDeviceStatus(const QVector<RDDevice> &devices);
    // Rebuilds the source choices and shows the panel zone in them again;
    // unsaved edits, the more dialog's waiting results among them, stay.
    void reloadSources();

    RDGroupEditor *editor() const { return m_editor; }

    void languageChanged() override;

signals:
    void requestLocalCall();
    void requestUpdateGroup();
    void requestUpdateDevice(RDDevice device);
    void requestChangeMedia(RDGroup group, QString media, int position);
    void requestUpdateGroupVolume(RDGroup group);

public slots:
    void onClickNewDevice();
    void onClickMenuModify();
    void onClickMenuDelete();
    void onClickDeviceModify(RDDevice device);
    void onClickDeviceDelete(RDDevice device);
    void onClickMoreButton(int index);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    bool isStarted() const { return m_group.started != 0; }
    // Enables the rows for the panel zone's run state.
    void applyRunState();
    void onVolumeChanged(int value);

    RDGroup m_group;
    RDGroupEditor *m_editor;
    // The more dialog's last result not yet shown back by the owner.
    bool m_hasMoreEdits = false;
    RDGroup m_moreEdits;
};
