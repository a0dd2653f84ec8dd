#include "RDGroupSourceWidget.h"

#include "RDConfigure.h"
#include "RDCoreDeviceGroups.h"
#include "RDFileListWidget.h"
#include "RDGroupSourceMediaWidget.h"
#include "RDGroupSourcePrayWidget.h"
#include "RDGroupSourceSoundWidget.h"
#include "RDGroupSourceStreamWidget.h"
#include "RDLabel.h"
#include "RDPixmapCache.h"
#include "RDPixmapWidget.h"
#include "RDPrayFileListWidget.h"
#include "RDPrayLocationLabel.h"
#include "RDWidgetStyle.h"
#include "Velmar.h"

#include <QComboBox>
#include <QLineEdit>

namespace {
int readPrayEnable() { return RDConfigure().prayEnable(); }
}

RDGroupSourceWidget::RDGroupSourceWidget(QWidget *parent)
    : RDWidget(parent)
    , m_icon(new RDPixmapWidget(this))
    , m_caption(new RDLabel(this))
    , m_combo(new QComboBox(this))
    , m_separator(new RDWidget(this))
    , m_sound(new RDGroupSourceSoundWidget(this))
    , m_stream(new RDGroupSourceStreamWidget(this))
    , m_media(new RDGroupSourceMediaWidget(this))
    , m_pray(new RDGroupSourcePrayWidget(this))
    , m_prayEnable(readPrayEnable())
{
    m_icon->setPixmap(scaledPixmap(QStringLiteral(":/resources/audio_wave.svg"), 18));
    m_caption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_caption->setTextColor(Qt::black);
    applyComboBoxStyle(m_combo);
    m_separator->setBackgroundColor(QColor(170, 170, 170));
    fillCombo();
    connect(m_media->fileList(), &RDFileListWidget::clickMedia, this, &RDGroupSourceWidget::switchMedia);
    connect(m_media->fileList(), &RDFileListWidget::mediaChanged, this, &RDGroupSourceWidget::mediaChanged);
    connect(m_pray, &RDGroupSourcePrayWidget::fileChanged, this, &RDGroupSourceWidget::prayChanged);
    connect(m_combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &RDGroupSourceWidget::onSourceChanged);
    m_combo->setCurrentIndex(SoundIndex);
    onSourceChanged(SoundIndex);
    languageChanged();
}

RDGroupSourceWidget::~RDGroupSourceWidget() = default;

void RDGroupSourceWidget::fillCombo()
{
    const QSignalBlocker blocker(m_combo);
    m_combo->clear();
    m_combo->addItem(RDLocalize::text(QStringLiteral("Sound Device")));
    m_combo->addItem(RDLocalize::text(QStringLiteral("Live Radio")));
    m_combo->addItem(RDLocalize::text(QStringLiteral("Medium")));
    if (m_prayEnable)
        m_combo->addItem(RDLocalize::text(QStringLiteral("Pray")));
    m_combo->setCurrentIndex(SoundIndex);
}

void RDGroupSourceWidget::reloadSources()
{
    m_prayEnable = readPrayEnable();
    fillCombo();
    onSourceChanged(SoundIndex);
}

void RDGroupSourceWidget::onSourceChanged(int index)
{
    m_sound->setVisible(index == SoundIndex);
    m_stream->setVisible(index == StreamIndex);
    m_media->setVisible(index == MediaIndex);
    m_pray->setVisible(index == PrayIndex && m_prayEnable);
}

QString RDGroupSourceWidget::sourceWord(int index) const
{
    switch (index) {
    case SoundIndex:
        return QStringLiteral("device");
    case StreamIndex:
        return QStringLiteral("stream");
    case PrayIndex:
        return m_prayEnable ? QStringLiteral("pray") : QStringLiteral("media");
    default:
        return QStringLiteral("media");
    }
}

void RDGroupSourceWidget::loadGroup(const RDGroup &group)
{
    RDGroup zone = group;
    zone.updateMedia();
    zone.updatePrayFiles();

    const bool started = zone.started == 1;
    const bool editable = !started;
    m_combo->setEnabled(editable);
    m_sound->deviceGroups()->setEnabled(editable);
    m_stream->urlEdit()->setEnabled(editable);
    m_media->setEditable(editable);
    m_pray->locationBox()->setEnabled(editable);
    m_pray->fileList()->setEditable(editable);

    int index = SoundIndex;
    if (zone.source.compare(QLatin1String("device"), Qt::CaseInsensitive) == 0)
        index = SoundIndex;
    else if (zone.source.compare(QLatin1String("stream"), Qt::CaseInsensitive) == 0)
        index = StreamIndex;
    else if (zone.source.compare(QLatin1String("media"), Qt::CaseInsensitive) == 0)
        index = MediaIndex;
    else if (zone.source.compare(QLatin1String("pray"), Qt::CaseInsensitive) == 0 && m_prayEnable)
        index = PrayIndex;
    {
        const QSignalBlocker blocker(m_combo);
        m_combo->setCurrentIndex(index);
    }
    onSourceChanged(index);

    Velmar *velmar = Velmar::instance();
    m_sound->deviceGroups()->setDevices(velmar ? velmar->getAudioDevices() : QVector<RDCoreDevice>(), zone.audioId);

    m_stream->stopPlay();
    m_stream->setUrl(zone.streamUrl);

    m_media->setLoopType(zone.mediumLoopType);
    m_media->setLoopTimes(zone.mediumLoopTimes);
    m_media->setLoopDuration(zone.mediumLoopDuration);
    m_media->fileList()->setFiles(zone.mediaList);

    m_pray->setSettings(zone.prayLocation, zone.prayMethod, zone.praySchool, zone.prayLatitudeAdjustmentMethod);
    m_pray->fileList()->setPrayDay(m_pray->today());
    m_pray->fileList()->setFiles(zone.prayFileList);

    const double position = zone.currentPlayPosition();
    const bool mediaPlays = started && zone.startType != QLatin1String("call conference")
                            && zone.startType != QLatin1String("sipTrunk")
                            && zone.startType != QLatin1String("pray");
    if (mediaPlays)
        m_media->fileList()->setPlayIndex(zone.playIndex, position);
    else
        m_media->fileList()->setPlayIndex(-1, 0.0);
    const bool prayPlays =
        started && m_prayEnable && zone.startType.compare(QLatin1String("pray"), Qt::CaseInsensitive) == 0;
    if (prayPlays)
        m_pray->fileList()->setPlayIndex(zone.prayType, position);
    else
        m_pray->fileList()->setPlayIndex(-1, 0.0);

    m_shown.valid = group.isValid();
    m_shown.group = zone;
    m_shown.index = index;
    m_shown.device = m_sound->deviceGroups()->selectedDevice();
    m_shown.loopType = m_media->loopType();
    m_shown.loopTimes = m_media->timesEdit()->text();
    m_shown.loopDuration = m_media->durationEdit()->text();
    m_shown.streamUrl = m_stream->url();
    m_shown.media = m_media->fileList()->files();
    m_shown.location = m_pray->locationBox()->text();
    m_shown.prayMethod = m_pray->method();
    m_shown.praySchool = m_pray->school();
    m_shown.prayLatitude = m_pray->latitudeAdjustmentMethod();
    m_shown.prayFiles = m_pray->fileList()->files();
}

void RDGroupSourceWidget::saveGroup(RDGroup &group) const
{
    // For a stored zone, a field whose page still shows what loading put
    // there keeps the loaded value; only what the operator changed is new.
    const bool keep = m_shown.valid;
    const RDGroup &loaded = m_shown.group;

    const int index = m_combo->currentIndex();
    group.source = keep && index == m_shown.index ? loaded.source : sourceWord(index);

    const QVector<QString> media = m_media->fileList()->files();
    if (keep && media == m_shown.media) {
        group.mediaList = loaded.mediaList;
        group.medium = loaded.medium;
    } else {
        group.setMedia(media);
    }

    const QString loopType = m_media->loopType();
    group.mediumLoopType = keep && loopType == m_shown.loopType ? loaded.mediumLoopType : loopType;
    const QString times = m_media->timesEdit()->text();
    group.mediumLoopTimes = keep && times == m_shown.loopTimes ? loaded.mediumLoopTimes : m_media->loopTimes();
    const QString duration = m_media->durationEdit()->text();
    group.mediumLoopDuration =
        keep && duration == m_shown.loopDuration ? loaded.mediumLoopDuration : m_media->loopDuration();

    group.streamUrl = m_stream->url();

    const RDCoreDevice device = m_sound->deviceGroups()->selectedDevice();
    if (keep && device == m_shown.device) {
        group.audioType = loaded.audioType;
        group.audioId = loaded.audioId;
        group.audioName = loaded.audioName;
    } else {
        group.audioType = device.type();
        group.audioId = device.id();
        group.audioName = device.name();
        if (device.isNull())
            group.audioType = 0;
    }

    const QString location = m_pray->locationBox()->text();
    const bool settingsKept = m_pray->method() == m_shown.prayMethod && m_pray->school() == m_shown.praySchool
                              && m_pray->latitudeAdjustmentMethod() == m_shown.prayLatitude;
    if (keep && location == m_shown.location && settingsKept)
        group.prayLocation = loaded.prayLocation;
    else
        group.prayLocation = m_pray->queryLocation();
    group.prayMethod = m_pray->method();
    group.praySchool = m_pray->school();
    group.prayLatitudeAdjustmentMethod = m_pray->latitudeAdjustmentMethod();

    const QVector<QString> prayFiles = m_pray->fileList()->files();
    if (keep && prayFiles == m_shown.prayFiles) {
        group.prayFileList = loaded.prayFileList;
        group.prayFiles = loaded.prayFiles;
    } else {
        group.setPrayFiles(prayFiles);
    }
}

void RDGroupSourceWidget::languageChanged()
{
    m_caption->setText(RDLocalize::text(QStringLiteral("Audio Source")));
    const char *const items[] = {"Sound Device", "Live Radio", "Medium", "Pray"};
    for (int i = 0; i < m_combo->count() && i < 4; ++i)
        m_combo->setItemText(i, RDLocalize::text(QString::fromLatin1(items[i])));
    relayout();
}

void RDGroupSourceWidget::resizeEvent(QResizeEvent *event)
{
    RDWidget::resizeEvent(event);
    relayout();
}

void RDGroupSourceWidget::relayout()
{
    const int w = width();
    const int h = height();
    // The caption takes half the width, more when its text needs it (larger
    // fonts, longer translations), leaving the choice at least 90 px.
    const int captionText = m_caption->fontMetrics().horizontalAdvance(m_caption->text()) + 4;
    const int split = qMax(w / 2, qMin(32 + captionText, w - 110));
    m_icon->setGeometry(10, 6, 18, 18);
    m_caption->setGeometry(32, 4, qMax(0, split - 32), 22);
    m_combo->setGeometry(split + 10, 4, qMax(0, w - split - 20), 22);
    m_separator->setGeometry(5, m_caption->geometry().bottom() + 1 + 5, qMax(0, w - 10), 1);
    const int top = m_separator->geometry().bottom() + 1 + 5;
    const QRect page(0, top, w, qMax(0, h - top - 5));
    m_sound->setGeometry(page);
    m_stream->setGeometry(page);
    m_media->setGeometry(page);
    m_pray->setGeometry(page);
}
