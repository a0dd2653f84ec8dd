#pragma once

#include "RDBaseDialog.h"
#include "RDDevice.h"

#include <QSet>
#include <QStringList>
#include <QVector>

class QPushButton;
class QTableWidget;
class RDLabel;

// Reads new devices from text files, one "name;number;password" a line, and
// shows them in a table before they are taken. Stores nothing. Lines that
// are not a device are refused with their line number and the reason: a
// line over 1023 bytes, one that is not UTF-8 or holds control characters,
// fewer than three parts, a number that is not 6000..6999, an empty or
// over-long password, an over-long name, a number read before.
class RDDeviceImportDialog : public RDBaseDialog
{
    Q_OBJECT
public:
    static const int kMaxLines = 1000;
    static const int kMaxLineBytes = 1023;

    explicit RDDeviceImportDialog(QWidget *parent = nullptr);
    ~RDDeviceImportDialog() override;

    QVector<RDDevice> devices() const { return m_devices; }
    // "line n: reason" for each refused line of the files read, in order.
    QStringList refusedLines() const { return m_refused; }
    QTableWidget *table() const { return m_table; }
    QPushButton *selectButton() const { return m_selectButton; }
    QPushButton *uploadButton() const { return m_uploadButton; }

    // Appends the devices of one file; false (and a message) when it
    // cannot be opened.
    bool readFile(const QString &path);

    void languageChanged() override;

protected:
    void relayoutContents(int width, int height) override;

private:
    void onSelectFile();
    void refuse(int line, const QString &reason);
    void takeLine(int line, const QByteArray &bytes);
    void fillTable();

    RDLabel *m_hint;
    QPushButton *m_selectButton;
    QPushButton *m_uploadButton;
    QTableWidget *m_table;
    QVector<RDDevice> m_devices;
    QSet<QString> m_numbers;
    QStringList m_refused;
};
