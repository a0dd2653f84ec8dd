#pragma once

#include <QString>
#include <QWidget>

// A cell of the month and week pickers: its label in white on the
// picker's blue, ringed while selected. Every cell starts selected. A left
// press on an enabled cell emits pressed(); the picker flips it.
class RDPickerDayView : public QWidget
{
    Q_OBJECT
public:
    explicit RDPickerDayView(const QString &text, QWidget *parent = nullptr);

    void setSelected(bool selected);
    bool isSelected() const { return m_selected; }
    void setText(const QString &text);
    QString text() const { return m_text; }

signals:
    void pressed();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_selected = true;
    QString m_text;
};
