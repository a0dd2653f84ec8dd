#pragma once

#include "RDCoreDevice.h"
#include "RDGroup.h"
#include "RDLocalize.h"
#include "RDWidget.h"

#include <QVector>

class QComboBox;
class RDGroupSourceMediaWidget;
class RDGroupSourcePrayWidget;
class RDGroupSourceSoundWidget;
class RDGroupSourceStreamWidget;
class RDLabel;
class RDPixmapWidget;

// Where a zone's sound comes from, in the zone editors: a choice of source
// kind over one page per kind (a sound device of the PC, a live radio
// address, a list of media files, prayer-time announcements). It loads every
// page from a zone and writes every page back into one, whichever kind is
// chosen.
//
// A stored zone's fields that the operator did not touch are written back as
// they were loaded, even where the pages cannot show them (a prayer zone
// while prayer support is off, an endpoint that is gone, an empty prayer
// location), so that merely viewing a zone never changes it.
class RDGroupSourceWidget : public RDWidget, public RDLocalize
{
    Q_OBJECT
public:
    // Combo indexes and the source words stored for them.
    enum SourceIndex { SoundIndex = 0, StreamIndex = 1, MediaIndex = 2, PrayIndex = 3 };

    explicit RDGroupSourceWidget(QWidget *parent = nullptr);
    ~RDGroupSourceWidget() override;

    void loadGroup(const RDGroup &group);
    void saveGroup(RDGroup &group) const;
    // Reads the prayer support setting again and rebuilds the source choice.
    void reloadSources();
    bool prayEnabled() const { return m_prayEnable != 0; }

    QComboBox *sourceCombo() const { return m_combo; }
    RDGroupSourceSoundWidget *soundWidget() const { return m_sound; }
    RDGroupSourceStreamWidget *streamWidget() const { return m_stream; }
    RDGroupSourceMediaWidget *mediaWidget() const { return m_media; }
    RDGroupSourcePrayWidget *prayWidget() const { return m_pray; }

    void languageChanged() override;

signals:
    void switchMedia(QString media, int position);
    void mediaChanged();
    void prayChanged();

public slots:
    void onSourceChanged(int index);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    // What the pages showed right after loadGroup, to tell untouched fields.
    struct Shown
    {
        bool valid = false;
        RDGroup group;
        int index = 0;
        RDCoreDevice device;
        QString loopType;
        QString loopTimes;
        QString loopDuration;
        QString streamUrl;
        QVector<QString> media;
        QString location;
        int prayMethod = 0;
        int praySchool = 0;
        int prayLatitude = 0;
        QVector<QString> prayFiles;
    };

    void fillCombo();
    void relayout();
    QString sourceWord(int index) const;

    RDPixmapWidget *m_icon;
    RDLabel *m_caption;
    QComboBox *m_combo;
    RDWidget *m_separator;
    RDGroupSourceSoundWidget *m_sound;
    RDGroupSourceStreamWidget *m_stream;
    RDGroupSourceMediaWidget *m_media;
    RDGroupSourcePrayWidget *m_pray;
    int m_prayEnable = 0;
    Shown m_shown;
};
