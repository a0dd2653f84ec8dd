#pragma once

#include "RDDevice.h"
#include "RDFullDialog.h"
#include "RDGroup.h"

class RDGroupEditor;
class RDLabel;

// The editor in which the operator composes a new zone. The caller fills it
// with setGroup, runs it and, when it was accepted, stores group(). OK is
// refused for a conference number outside 3000..3999 or one another zone
// uses already.
class RDGroupAddDialog : public RDFullDialog
{
    Q_OBJECT
public:
    explicit RDGroupAddDialog(QWidget *parent = nullptr);
    ~RDGroupAddDialog() override;

    void setGroup(const RDGroup &group);
    RDGroup &group() { return m_group; }

    RDGroupEditor *editor() const { return m_editor; }
    RDLabel *okButton() const { return m_ok; }

    void languageChanged() override;

public slots:
    void onClickNewDevice();
    void onClickMenuModify();
    void onClickMenuDelete();
    void onClickDeviceModify(RDDevice device);
    void onClickDeviceDelete(RDDevice device);
    void onClickMoreButton(int index);
    void onClickOKButton();

protected:
    void relayoutContents(int width, int height) override;

private:
    bool isStarted() const { return m_group.started != 0; }

    RDGroup m_group;
    RDGroupEditor *m_editor;
    RDLabel *m_ok;
};
