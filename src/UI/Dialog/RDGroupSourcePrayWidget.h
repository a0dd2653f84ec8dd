#pragma once

#include "RDLabel.h"
#include "RDLocalize.h"
#include "RDToast.h"

class RDPixmapButton;
class RDPrayFileListHeaderWidget;
class RDPrayFileListWidget;
class RDPrayLocationLabel;
struct PAPrayDay;

// The "Pray" page of the zone source: where the prayer times are calculated
// for, today's times, and the file announced at each prayer.
class RDGroupSourcePrayWidget : public RDToast, public RDLocalize
{
    Q_OBJECT
public:
    explicit RDGroupSourcePrayWidget(QWidget *parent = nullptr);

    // The settings the times are calculated with; setSettings also shows the
    // location (the box shows its placeholder while it is empty).
    void setSettings(const QString &location, int method, int school, int latitudeAdjustmentMethod);
    QString location() const { return m_location; }
    int method() const { return m_method; }
    int school() const { return m_school; }
    int latitudeAdjustmentMethod() const { return m_latitude; }
    // The location queries use: the box's text, else its placeholder.
    QString queryLocation() const;
    // Today's times for the current settings, from the timetable cache.
    PAPrayDay today() const;

    RDPrayLocationLabel *locationBox() const { return m_locationBox; }
    RDPixmapButton *searchButton() const { return m_search; }
    RDPrayFileListHeaderWidget *header() const { return m_header; }
    RDPrayFileListWidget *fileList() const { return m_list; }

    void languageChanged() override;

signals:
    void fileChanged();

public slots:
    void onClickLocationLabel();
    void onClickLocationQuery();
    void onClickLocationEdit();
    void onClickRefreshButton();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void relayout();

    RDLabel *m_caption;
    RDPixmapButton *m_search;
    RDPrayLocationLabel *m_locationBox;
    RDPrayFileListHeaderWidget *m_header;
    RDPrayFileListWidget *m_list;
    QString m_location;
    int m_method = 7;
    int m_school = 0;
    int m_latitude = 3;
};
