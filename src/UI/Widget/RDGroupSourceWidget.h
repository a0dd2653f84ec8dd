#pragma once

#include "RDGroup.h"
#include "RDLocalize.h"
#include "RDWidget.h"

// Placeholder of the zone editors' source selector until the real one
// lands: it keeps the loaded zone's source fields and writes them back.
class RDGroupSourceWidget : public RDWidget, public RDLocalize
{
    Q_OBJECT
public:
    explicit RDGroupSourceWidget(QWidget *parent = nullptr);

    void loadGroup(const RDGroup &group);
    void saveGroup(RDGroup &group);
    void reloadSources();

signals:
    void switchMedia(QString media, int position);
    void mediaChanged();
    void prayChanged();

private:
    RDGroup m_group;
};
