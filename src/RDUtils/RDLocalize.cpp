#include "RDLocalize.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>

namespace {

struct LocalizeState
{
    QString dir;
    QString language;
    QMap<QString, QString> texts;
    QVector<RDLocalize *> instances;
};

LocalizeState &state()
{
    static LocalizeState s;
    return s;
}

// Leading spaces, then trailing spaces and ';' in any mix, then one quote at
// each end: `"Open" = "Abrir";` and `Open=Abrir` give the same entry.
QString cleanPiece(QString s)
{
    int start = 0;
    while (start < s.size() && s.at(start) == QLatin1Char(' '))
        ++start;
    s = s.mid(start);
    int end = s.size();
    while (end > 0 && (s.at(end - 1) == QLatin1Char(' ') || s.at(end - 1) == QLatin1Char(';')))
        --end;
    s.truncate(end);
    if (s.startsWith(QLatin1Char('"')))
        s.remove(0, 1);
    if (s.endsWith(QLatin1Char('"')))
        s.chop(1);
    return s;
}

} // namespace

RDLocalize::RDLocalize()
{
    auto &list = state().instances;
    list.removeAll(this);
    list.append(this);
}

RDLocalize::~RDLocalize()
{
    state().instances.removeAll(this);
}

void RDLocalize::setLanguageDir(const QString &dir) { state().dir = dir; }

QString RDLocalize::languageDir()
{
    const QString &dir = state().dir;
    return dir.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/language") : dir;
}

bool RDLocalize::loadFile(const QString &path, QMap<QString, QString> &map)
{
    map.clear();
    QFile file(path);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return false;
    QTextStream in(&file);
    in.setCodec("UTF-8");
    while (!in.atEnd()) {
        QString line = in.readLine();
        if (line.isEmpty())
            break; // an empty line ends the file
        const QStringList pieces = line.split(QLatin1Char('='));
        if (pieces.size() != 2)
            continue;
        map.insert(cleanPiece(pieces.at(0)).toLower(), cleanPiece(pieces.at(1)));
    }
    return true;
}

bool RDLocalize::load(const QString &name)
{
    const QString fileName = name.endsWith(QStringLiteral(".txt")) ? name : name + QStringLiteral(".txt");
    QString dir = languageDir();
    const QString path = dir.endsWith(QLatin1Char('/')) ? dir + fileName : dir + QLatin1Char('/') + fileName;
    return loadFile(path, state().texts);
}

bool RDLocalize::setLanguage(const QString &name)
{
    state().language = name;
    return load(name);
}

bool RDLocalize::changeLanguage(const QString &name)
{
    state().language = name;
    const bool ok = load(name);
    const QVector<RDLocalize *> snapshot = state().instances;
    for (RDLocalize *instance : snapshot) {
        // A hook may destroy other instances: call only those still alive.
        if (state().instances.contains(instance))
            instance->languageChanged();
    }
    return ok;
}

QString RDLocalize::language() { return state().language; }

QString RDLocalize::text(const QString &key)
{
    const auto &texts = state().texts;
    auto it = texts.constFind(key.toLower());
    return it == texts.constEnd() ? key : it.value();
}

QString RDLocalize::lookup(const QString &key) { return text(key); }

void RDLocalize::languages(QStringList &names, QStringList &texts)
{
    names.clear();
    texts.clear();
    const QStringList files = QDir(languageDir())
                                  .entryList({QStringLiteral("*.txt")}, QDir::Files | QDir::Hidden,
                                             QDir::Name | QDir::IgnoreCase);
    for (const QString &file : files) {
        const int dot = file.lastIndexOf(QLatin1Char('.'));
        const QString name = dot > 0 ? file.left(dot) : file;
        if (name.isEmpty())
            continue;
        names.append(name);
        texts.append(text(name));
    }
}
