#include "RDDeviceImportDialog.h"

#include "RDDeviceFormDialog.h"
#include "RDLabel.h"
#include "RDModal.h"

#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QTextCodec>

#include <algorithm>

namespace {

// Names and passwords as long as the add and modify forms let them be.
const int kMaxName = 20;
const int kMaxPassword = 10;

bool hasControl(const QString &text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

} // namespace

RDDeviceImportDialog::RDDeviceImportDialog(QWidget *parent)
    : RDBaseDialog(parent)
    , m_hint(new RDLabel(body()))
    , m_selectButton(new QPushButton(body()))
    , m_uploadButton(new QPushButton(body()))
    , m_table(new QTableWidget(body()))
{
    setObjectName(QStringLiteral("RDDeviceImportDialog"));
    m_hint->setTextColor(Qt::black);
    // The hint with its example is longer than the dialog is wide: two lines.
    m_hint->setAlignment(Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap);
    QFont small = m_hint->font();
    small.setPixelSize(11);
    m_hint->setFont(small);
    m_selectButton->setObjectName(QStringLiteral("selectFileButton"));
    m_uploadButton->setObjectName(QStringLiteral("uploadButton"));
    m_table->setObjectName(QStringLiteral("previewTable"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->setVisible(false);
    connect(m_selectButton, &QPushButton::clicked, this, &RDDeviceImportDialog::onSelectFile);
    connect(m_uploadButton, &QPushButton::clicked, this, &QDialog::accept);
    resize(560, 400);
    RDDeviceImportDialog::languageChanged();
}

RDDeviceImportDialog::~RDDeviceImportDialog() = default;

void RDDeviceImportDialog::languageChanged()
{
    RDBaseDialog::languageChanged();
    m_hint->setText(QStringLiteral("%1, %2").arg(
        RDLocalize::text(QStringLiteral("Please select files, Each line is in Name + SIP number + password")),
        RDLocalize::text(QStringLiteral("eg. User;6000;mxq6000"))));
    m_selectButton->setText(RDLocalize::text(QStringLiteral("Select file")));
    m_uploadButton->setText(RDLocalize::text(QStringLiteral("Upload")));
    fillTable();
    relayout(width(), height());
}

void RDDeviceImportDialog::onSelectFile()
{
    const QStringList files = RDModal::getOpenFileNames(
        this, QString(), QString(), RDLocalize::text(QStringLiteral("Devices")) + QStringLiteral(" (*.txt *.config *.ini)"));
    if (!files.isEmpty())
        readFile(files.first());
}

void RDDeviceImportDialog::refuse(int line, const QString &reason)
{
    m_refused.append(QStringLiteral("%1 %2: %3").arg(RDLocalize::text(QStringLiteral("line"))).arg(line).arg(reason));
}

bool RDDeviceImportDialog::readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        showToast(RDLocalize::text(QStringLiteral("Can not open file")), Qt::AlignHCenter | Qt::AlignBottom, 5, 5);
        return false;
    }
    int line = 0;
    while (line < kMaxLines && !file.atEnd()) {
        ++line;
        QByteArray bytes = file.readLine(kMaxLineBytes + 1);
        if (bytes.endsWith('\n') || file.atEnd()) {
            takeLine(line, bytes);
            continue;
        }
        // Longer than a line may be: the rest up to its end goes with it,
        // never read as a line of its own.
        char c = 0;
        while (file.getChar(&c) && c != '\n') {
        }
        refuse(line, RDLocalize::text(QStringLiteral("line too long")));
    }
    if (!file.atEnd())
        refuse(line + 1, RDLocalize::text(QStringLiteral("not read, a file holds at most 1000 lines")));
    fillTable();
    return true;
}

void RDDeviceImportDialog::takeLine(int line, const QByteArray &bytes)
{
    if (bytes.trimmed().isEmpty())
        return;
    QTextCodec::ConverterState state;
    const QString text = QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData(), bytes.size(), &state);
    if (state.invalidChars > 0) {
        refuse(line, RDLocalize::text(QStringLiteral("not UTF-8 text")));
        return;
    }
    const QStringList parts = text.split(QLatin1Char(';'));
    if (parts.size() < 3) {
        refuse(line, RDLocalize::text(QStringLiteral("not name;number;password")));
        return;
    }
    RDDevice device;
    device.name = parts[0].trimmed();
    device.number = parts[1].trimmed();
    device.password = parts[2].trimmed();
    if (hasControl(device.name) || hasControl(device.number) || hasControl(device.password)) {
        refuse(line, RDLocalize::text(QStringLiteral("control characters")));
        return;
    }
    if (!RDDeviceFormDialog::isDeviceNumber(device.number)) {
        refuse(line, RDLocalize::text(QStringLiteral("SIP number is between 6000 and 6999")));
        return;
    }
    if (device.password.isEmpty() || device.password.size() > kMaxPassword) {
        refuse(line, RDLocalize::text(QStringLiteral("password of 1 to 10 characters")));
        return;
    }
    if (device.name.size() > kMaxName) {
        refuse(line, RDLocalize::text(QStringLiteral("name longer than 20 characters")));
        return;
    }
    if (m_numbers.contains(device.number)) {
        refuse(line, QStringLiteral("%1 %2").arg(device.number, RDLocalize::text(QStringLiteral("read before"))));
        return;
    }
    if (device.name.isEmpty())
        device.name = device.number;
    m_numbers.insert(device.number);
    m_devices.append(device);
}

void RDDeviceImportDialog::fillTable()
{
    m_table->clear();
    m_table->setRowCount(0);
    m_table->setColumnCount(0);
    if (m_devices.isEmpty())
        return;
    m_table->setColumnCount(3);
    m_table->setHorizontalHeaderLabels({RDLocalize::text(QStringLiteral("SIP Name")),
                                        RDLocalize::text(QStringLiteral("SIP Number")),
                                        RDLocalize::text(QStringLiteral("SIP Password"))});
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_table->setRowCount(m_devices.size());
    for (int row = 0; row < m_devices.size(); ++row) {
        const RDDevice &d = m_devices[row];
        m_table->setItem(row, 0, new QTableWidgetItem(d.name));
        m_table->setItem(row, 1, new QTableWidgetItem(d.number));
        m_table->setItem(row, 2, new QTableWidgetItem(d.password));
    }
}

void RDDeviceImportDialog::relayoutContents(int w, int h)
{
    m_hint->setGeometry(10, 3, w - 20, 30);
    const int buttonWidth = w / 2 - 15;
    m_selectButton->setGeometry(10, 35, buttonWidth, 25);
    m_uploadButton->setGeometry(w / 2 + 5, 35, buttonWidth, 25);
    const int top = m_selectButton->geometry().bottom() + 5;
    m_table->setGeometry(10, top, w - 20, std::max(0, h - 10 - top));
}
