#include "PASettingsDataWidget.h"

#include "PALogDialog.h"
#include "RDLabel.h"
#include "RDMessageBox.h"
#include "RDModal.h"
#include "VelmarDB.h"

#include <QDir>
#include <QFileInfo>
#include <QPushButton>

namespace {

// Success in an information box, failure in a warning: a failed copy is
// never passed over in silence.
void report(bool ok, const char *success, const char *failure)
{
    if (ok) {
        informationBox(RDLocalize::text(QLatin1String(success)), RDLocalize::text(QStringLiteral("OK")),
                       RDLocalize::text(QStringLiteral("Cancel")));
    } else {
        warningBox(RDLocalize::text(QLatin1String(failure)), RDLocalize::text(QStringLiteral("OK")), QString());
    }
}

} // namespace

PASettingsDataWidget::PASettingsDataWidget(QWidget *parent)
    : RDToast(parent)
    , m_export(new QPushButton(this))
    , m_import(new QPushButton(this))
    , m_log(new QPushButton(this))
{
    connect(m_export, &QPushButton::clicked, this, &PASettingsDataWidget::onClickExportData);
    connect(m_import, &QPushButton::clicked, this, &PASettingsDataWidget::onClickImportData);
    connect(m_log, &QPushButton::clicked, this, &PASettingsDataWidget::onClickLog);
    PASettingsDataWidget::languageChanged();
}

PASettingsDataWidget::~PASettingsDataWidget() = default;

void PASettingsDataWidget::onClickExportData(bool)
{
    const QString folder = RDModal::getExistingDirectory(nullptr, QString(), QString());
    if (folder.isEmpty())
        return;
    // The chosen folder as it is: the copy lands exactly where the
    // operator looks for it.
    const QString path = QDir(folder).filePath(VelmarDB::dbFileName());
    if (QFileInfo::exists(path)) {
        const QString question = QStringLiteral("%1, %2").arg(
            VelmarDB::dbFileName(),
            RDLocalize::text(QStringLiteral("The file already exists, do you want to overwrite it")));
        if (warningBox(question, RDLocalize::text(QStringLiteral("Ok")),
                       RDLocalize::text(QStringLiteral("Cancel"))) != QMessageBox::Yes)
            return;
    }
    report(VelmarDB::exportDB(path), "Export Success", "Export Failure");
}

void PASettingsDataWidget::onClickImportData(bool)
{
    const QString file = RDModal::getOpenFileName(nullptr, QString(), QString(), QString());
    if (file.isEmpty())
        return;
    if (warningBox(RDLocalize::text(QStringLiteral("Import data will overwrite the original data")),
                   RDLocalize::text(QStringLiteral("Import")),
                   RDLocalize::text(QStringLiteral("Cancel"))) != QMessageBox::Yes)
        return;
    // The data store checks the file and keeps the live data when it is
    // not a database of this program.
    report(VelmarDB::importDB(file), "Import Success", "Import Failure");
}

void PASettingsDataWidget::onClickLog(bool)
{
    PALogDialog dialog;
    QVector<RDGroup> zones;
    {
        VelmarDB db(true);
        zones = db.selectGroups();
    }
    dialog.setGroups(zones);
    RDModal::run(QStringLiteral("dialog:PALogDialog"), QString(), 0, [&dialog] { return dialog.exec(); }, &dialog);
}

void PASettingsDataWidget::languageChanged()
{
    m_export->setText(RDLocalize::text(QStringLiteral("Export Data")));
    m_import->setText(RDLocalize::text(QStringLiteral("Import Data")));
    m_log->setText(RDLocalize::text(QStringLiteral("Zone Log")));
}

void PASettingsDataWidget::resizeEvent(QResizeEvent *event)
{
    RDToast::resizeEvent(event);
    m_export->adjustSize();
    const int w = m_export->width();
    int x = 10;
    for (QPushButton *b : {m_export, m_import, m_log}) {
        b->setGeometry(x, 10, w, 30);
        x += w + 10;
    }
}
