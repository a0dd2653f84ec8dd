#include "RDFileReveal.h"

#include "RDLog.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

bool RDFileReveal::showInFolder(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QString folder = QFileInfo(path).absolutePath();
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        return true;
    RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 4, "no file manager opened the folder %s\n",
                folder.toUtf8().constData());
    return false;
}
