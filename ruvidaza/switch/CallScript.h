#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// Runs the small call scripts of the "scripts" folder. The accepted language
// is the subset those scripts use: "local name = expr" statements,
// "os.execute(expr)", expressions made of string literals, local names and
// session:getVariable("x") and string.gsub(expr, "[set]", "") joined by ".."
// with an optional "or" fallback.
// Anything else ends the script with an error, as a script error would.
//
// os.execute never goes through a shell: the command line is split into
// arguments with sh-style quoting and the program is started directly, so a
// caller number like "1;rm -rf ~" is just an odd argument.
class CallScript
{
public:
    explicit CallScript(const QString &packageFolder);

    bool run(const QString &path, const QMap<QString, QString> &channelVars, QString *error);

    // sh-style word splitting ('…', "…", backslash); false on an open quote.
    static bool splitCommandLine(const QString &line, QStringList *words);

private:
    bool evaluate(const QString &expr, QString *value, bool *isNil, QString *error) const;
    bool evaluateGsub(const QString &args, QString *value, QString *error) const;
    bool execute(const QString &commandLine, QString *error) const;
    QString findProgram(const QString &name) const;

    QString m_folder;
    QMap<QString, QString> m_channelVars;
    QMap<QString, QString> m_locals;
    QStringList m_nilLocals;
};
