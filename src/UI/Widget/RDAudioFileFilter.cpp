#include "RDAudioFileFilter.h"

#include "RDLocalize.h"

QString RDAudioFileFilter::pattern(const QString &extension)
{
    QString out = QStringLiteral("*.");
    for (const QChar c : extension) {
        const QChar lower = c.toLower();
        const QChar upper = c.toUpper();
        if (lower == upper)
            out += c;
        else
            out += QLatin1Char('[') + lower + upper + QLatin1Char(']');
    }
    return out;
}

QString RDAudioFileFilter::nameFilter(const QStringList &extensions)
{
    QStringList patterns;
    for (const QString &extension : extensions)
        patterns.append(pattern(extension));
    return RDLocalize::text(QStringLiteral("Audio files")) + QStringLiteral(" (") + patterns.join(QLatin1Char(' '))
           + QLatin1Char(')');
}

QString RDAudioFileFilter::basicFilter()
{
    return nameFilter({QStringLiteral("mp3"), QStringLiteral("wav"), QStringLiteral("ogg")});
}

QString RDAudioFileFilter::extendedFilter()
{
    return nameFilter({QStringLiteral("mp3"), QStringLiteral("flac"), QStringLiteral("wav"), QStringLiteral("ogg")});
}
