#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

// Text lookup for everything the program shows. The English text is the key;
// the current language file maps it to the text shown. Every dialog and widget
// derives from RDLocalize so that a language switch can redraw its texts.
// GUI thread only.
class RDLocalize
{
public:
    RDLocalize();
    RDLocalize(const RDLocalize &) = delete;
    RDLocalize &operator=(const RDLocalize &) = delete;
    virtual ~RDLocalize();

    // Called after changeLanguage() on every live instance; sets visible texts again.
    virtual void languageChanged() {}

    static void setLanguageDir(const QString &dir);
    static QString languageDir();

    // Loads the language file; instances are not told (start-up).
    static bool setLanguage(const QString &name);
    // Loads the language file and tells every instance (settings screen).
    static bool changeLanguage(const QString &name);
    static QString language();

    static QString text(const QString &key);
    static QString lookup(const QString &key);

    // Language files found in the language folder: base names and their texts.
    static void languages(QStringList &names, QStringList &texts);

    // Parses one language file's lines into `map` (exposed for tests).
    static bool loadFile(const QString &path, QMap<QString, QString> &map);

private:
    static bool load(const QString &name);
};
