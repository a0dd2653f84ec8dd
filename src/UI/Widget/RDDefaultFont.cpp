#include "RDDefaultFont.h"

#include "RDLocalize.h"

#include <QFontDatabase>

QFont defaultFontFor(const QString &language)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    const bool chinese = language.compare(QLatin1String("cn"), Qt::CaseInsensitive) == 0
        || language.compare(QLatin1String("chinese"), Qt::CaseInsensitive) == 0;
    font.setFamily(chinese ? QStringLiteral("msyh") : QStringLiteral("Arial"));
    return font;
}

QFont defaultFont()
{
    return defaultFontFor(RDLocalize::language());
}
