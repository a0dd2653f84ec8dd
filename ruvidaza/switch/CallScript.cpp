#include "CallScript.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

namespace {

// Splits `expr` at every top-level occurrence of `sep` (outside string literals).
QStringList splitTopLevel(const QString &expr, const QString &sep)
{
    QStringList parts;
    QChar quote;
    int depth = 0;
    int start = 0;
    for (int i = 0; i < expr.size(); ++i) {
        const QChar c = expr[i];
        if (!quote.isNull()) {
            if (c == QLatin1Char('\\'))
                ++i;
            else if (c == quote)
                quote = QChar();
            continue;
        }
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
        } else if (c == QLatin1Char('(')) {
            ++depth;
        } else if (c == QLatin1Char(')')) {
            --depth;
        } else if (depth == 0 && expr.midRef(i, sep.size()) == sep) {
            parts << expr.mid(start, i - start).trimmed();
            i += sep.size() - 1;
            start = i + 1;
        }
    }
    parts << expr.mid(start).trimmed();
    return parts;
}

bool unquote(const QString &lit, QString *out)
{
    if (lit.size() < 2 || (lit[0] != QLatin1Char('"') && lit[0] != QLatin1Char('\'')) || lit.back() != lit[0])
        return false;
    out->clear();
    for (int i = 1; i < lit.size() - 1; ++i) {
        QChar c = lit[i];
        if (c == QLatin1Char('\\') && i + 1 < lit.size() - 1) {
            c = lit[++i];
            if (c == QLatin1Char('n'))
                c = QLatin1Char('\n');
            else if (c == QLatin1Char('t'))
                c = QLatin1Char('\t');
        }
        out->append(c);
    }
    return true;
}

} // namespace

CallScript::CallScript(const QString &packageFolder) : m_folder(packageFolder) {}

bool CallScript::splitCommandLine(const QString &line, QStringList *words)
{
    words->clear();
    QString cur;
    bool inWord = false;
    QChar quote;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (!quote.isNull()) {
            if (c == quote) {
                quote = QChar();
            } else if (quote == QLatin1Char('"') && c == QLatin1Char('\\') && i + 1 < line.size()) {
                cur += line[++i];
            } else {
                cur += c;
            }
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
            inWord = true;
        } else if (c == QLatin1Char('\\') && i + 1 < line.size()) {
            cur += line[++i];
            inWord = true;
        } else if (c.isSpace()) {
            if (inWord)
                *words << cur;
            cur.clear();
            inWord = false;
        } else {
            cur += c;
            inWord = true;
        }
    }
    if (!quote.isNull())
        return false;
    if (inWord)
        *words << cur;
    return true;
}

bool CallScript::evaluate(const QString &expr, QString *value, bool *isNil, QString *error) const
{
    // "a or b": the first operand that is not nil.
    const QStringList alternatives = splitTopLevel(expr, QStringLiteral(" or "));
    for (const QString &alt : alternatives) {
        QString result;
        bool nil = false;
        const QStringList terms = splitTopLevel(alt, QStringLiteral(".."));
        for (const QString &term : terms) {
            QString v;
            bool termNil = false;
            static const QRegularExpression getVar(
                QStringLiteral("^session:getVariable\\(\\s*(\"[^\"]*\"|'[^']*')\\s*\\)$"));
            static const QRegularExpression name(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
            const auto gm = getVar.match(term);
            if (unquote(term, &v)) {
            } else if (gm.hasMatch()) {
                QString varName;
                unquote(gm.captured(1), &varName);
                termNil = !m_channelVars.contains(varName);
                v = m_channelVars.value(varName);
            } else if (term.startsWith(QLatin1Char('(')) && term.endsWith(QLatin1Char(')'))) {
                if (!evaluate(term.mid(1, term.size() - 2), &v, &termNil, error))
                    return false;
            } else if (name.match(term).hasMatch()) {
                if (term == QLatin1String("nil")) {
                    termNil = true;
                } else if (m_locals.contains(term)) {
                    v = m_locals.value(term);
                } else {
                    termNil = true;  // unset local
                }
            } else {
                *error = QStringLiteral("unsupported expression: ") + term;
                return false;
            }
            if (termNil && terms.size() > 1) {
                *error = QStringLiteral("attempt to concatenate a nil value (") + term + QLatin1Char(')');
                return false;
            }
            nil = termNil;
            result += v;
        }
        if (!nil) {
            *value = result;
            *isNil = false;
            return true;
        }
    }
    value->clear();
    *isNil = true;
    return true;
}

QString CallScript::findProgram(const QString &name) const
{
    QStringList candidates{name};
    if (name.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive))
        candidates << name.left(name.size() - 4);
    for (const QString &candidate : candidates) {
        if (candidate.contains(QLatin1Char('/'))) {
            if (QFileInfo(candidate).isExecutable())
                return candidate;
            continue;
        }
        QStringList dirs = QProcessEnvironment::systemEnvironment().value(QStringLiteral("PATH")).split(QLatin1Char(':'));
        dirs << m_folder + QStringLiteral("/internal_exe");
        for (const QString &dir : dirs) {
            const QFileInfo fi(dir + QLatin1Char('/') + candidate);
            if (!dir.isEmpty() && fi.isFile() && fi.isExecutable())
                return fi.absoluteFilePath();
        }
    }
    return QString();
}

bool CallScript::execute(const QString &commandLine, QString *error) const
{
    QStringList words;
    if (!splitCommandLine(commandLine, &words) || words.isEmpty()) {
        *error = QStringLiteral("cannot split command line: ") + commandLine;
        return false;
    }
    const QString program = findProgram(words.takeFirst());
    if (program.isEmpty()) {
        *error = QStringLiteral("program not found: ") + commandLine;
        return false;
    }
    QProcess proc;
    proc.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    proc.setStandardOutputFile(QProcess::nullDevice());
    proc.start(program, words);
    if (!proc.waitForStarted(5000)) {
        *error = QStringLiteral("cannot start ") + program;
        return false;
    }
    if (!proc.waitForFinished(10000)) {
        proc.kill();
        proc.waitForFinished(1000);
        *error = QStringLiteral("timed out: ") + program;
        return false;
    }
    qInfo() << "script ran" << program << words << "exit" << proc.exitCode();
    return true;
}

bool CallScript::run(const QString &path, const QMap<QString, QString> &channelVars, QString *error)
{
    m_channelVars = channelVars;
    m_locals.clear();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot open ") + path;
        return false;
    }
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    static const QRegularExpression assign(QStringLiteral("^local\\s+([A-Za-z_][A-Za-z0-9_]*)\\s*=\\s*(.*)$"));
    static const QRegularExpression exec(QStringLiteral("^os\\.execute\\s*\\((.*)\\)$"));
    static const QRegularExpression requireOs(QStringLiteral("^require\\s*\\(?\\s*[\"']os[\"']\\s*\\)?$"));
    int lineNo = 0;
    for (QString line : lines) {
        ++lineNo;
        line = line.trimmed();
        if (line.endsWith(QLatin1Char(';')))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(QLatin1String("--")))
            continue;
        const auto am = assign.match(line);
        const auto em = exec.match(line);
        QString value;
        bool nil = false;
        if (am.hasMatch()) {
            if (requireOs.match(am.captured(2).trimmed()).hasMatch())
                continue;
            if (!evaluate(am.captured(2).trimmed(), &value, &nil, error)) {
                *error = QStringLiteral("%1:%2: %3").arg(path).arg(lineNo).arg(*error);
                return false;
            }
            if (nil)
                m_locals.remove(am.captured(1));
            else
                m_locals.insert(am.captured(1), value);
        } else if (em.hasMatch()) {
            if (!evaluate(em.captured(1).trimmed(), &value, &nil, error) || nil) {
                *error = QStringLiteral("%1:%2: %3").arg(path).arg(lineNo).arg(nil ? QStringLiteral("nil command") : *error);
                return false;
            }
            QString execError;
            if (!execute(value, &execError))
                qWarning() << path << execError;
        } else {
            *error = QStringLiteral("%1:%2: unsupported statement").arg(path).arg(lineNo);
            return false;
        }
    }
    return true;
}
