#pragma once

// Reads the switch's configuration files back the way the switch does: as XML
// fragments (a file may hold several roots and no final line feed), and
// gives tests the elements with their attributes to compare values.

#include <QFile>
#include <QMap>
#include <QString>
#include <QVector>
#include <QXmlStreamReader>

struct ConfigElement
{
    QString name;
    QMap<QString, QString> attributes;
    int depth = 0;
};

struct ConfigFile
{
    bool ok = false;          // the file exists and is well-formed
    QString error;
    QVector<ConfigElement> elements; // document order
    int roots = 0;

    // First element with that name whose attribute `key` equals `value`
    // (any element of that name when key is empty).
    const ConfigElement *find(const QString &name, const QString &key = QString(),
                              const QString &value = QString()) const
    {
        for (const ConfigElement &e : elements) {
            if (e.name == name && (key.isEmpty() || e.attributes.value(key) == value))
                return &e;
        }
        return nullptr;
    }
    // Value of <param name="..." value="..."/> or <variable .../>.
    QString param(const QString &name, const QString &element = QStringLiteral("param")) const
    {
        const ConfigElement *e = find(element, QStringLiteral("name"), name);
        return e ? e->attributes.value(QStringLiteral("value")) : QStringLiteral("<missing>");
    }
    QVector<ConfigElement> all(const QString &name) const
    {
        QVector<ConfigElement> out;
        for (const ConfigElement &e : elements)
            if (e.name == name)
                out << e;
        return out;
    }
};

inline ConfigFile parseConfigBytes(const QByteArray &bytes)
{
    ConfigFile f;
    QXmlStreamReader r(QByteArray("<fragment>") + bytes + QByteArray("</fragment>"));
    int depth = -1;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement()) {
            ++depth;
            if (depth == 0)
                continue;
            if (depth == 1)
                ++f.roots;
            ConfigElement e;
            e.name = r.name().toString();
            e.depth = depth;
            for (const QXmlStreamAttribute &a : r.attributes())
                e.attributes.insert(a.name().toString(), a.value().toString());
            f.elements << e;
        } else if (r.isEndElement()) {
            --depth;
        }
    }
    f.ok = !r.hasError();
    f.error = r.errorString();
    return f;
}

inline ConfigFile parseConfigFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ConfigFile f;
        f.error = QStringLiteral("cannot open ") + path;
        return f;
    }
    return parseConfigBytes(file.readAll());
}
