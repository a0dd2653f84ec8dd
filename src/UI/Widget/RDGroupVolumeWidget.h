#pragma once

#include "RDLocalize.h"
#include "RDWidget.h"

class RDLabel;
class RDPixmapsButton;
class RDSlider;

// The zone editors' volume row: a mute button, the label, a slider from -10
// to 10 and the value. -10 stands for muted; the mute button remembers the
// volume to go back to.
class RDGroupVolumeWidget : public RDWidget, public RDLocalize
{
    Q_OBJECT
public:
    static const int kMuted = -10;

    explicit RDGroupVolumeWidget(QWidget *parent = nullptr);

    // Shows `volume` without telling anybody.
    void setVolume(int volume);
    int volume() const;
    bool isMuted() const;

    RDSlider *slider() const { return m_slider; }
    RDPixmapsButton *muteButton() const { return m_mute; }
    RDLabel *valueLabel() const { return m_value; }

    void languageChanged() override;

public slots:
    // Shows the slider's value in the value label.
    void showValue(int value);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void onClickMute();

    RDPixmapsButton *m_mute;
    RDLabel *m_label;
    RDSlider *m_slider;
    RDLabel *m_value;
    int m_savedVolume = 0;
};
