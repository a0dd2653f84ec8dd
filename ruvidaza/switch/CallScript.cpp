#include "CallScript.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QVector>

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

// One Lua character class item of a "[...]" set, ASCII only (the C locale).
bool luaClassMatches(QChar cls, QChar c)
{
    const ushort u = c.unicode();
    if (u > 0x7f)
        return false;
    const bool lower = u >= 'a' && u <= 'z';
    const bool upper = u >= 'A' && u <= 'Z';
    const bool digit = u >= '0' && u <= '9';
    switch (cls.unicode()) {
    case 'a': return lower || upper;
    case 'd': return digit;
    case 'l': return lower;
    case 'u': return upper;
    case 'w': return lower || upper || digit;
    case 'x': return digit || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
    case 's': return u == ' ' || (u >= '\t' && u <= '\r');
    case 'p': return u > 0x20 && u < 0x7f && !(lower || upper || digit);
    default: return false;
    }
}

// A Lua pattern that is exactly one character set, "[...]" or "[^...]",
// made of single characters, ranges, %-escaped punctuation and the classes
// %a %d %l %u %w %x %s %p. Anything else is refused: this reader must
// never quietly treat a pattern differently from Lua.
struct LuaCharSet
{
    bool negated = false;
    QVector<QPair<QChar, QChar>> ranges;
    QString classes;

    bool parse(const QString &pattern)
    {
        if (pattern.size() < 3 || pattern[0] != QLatin1Char('[') || pattern.back() != QLatin1Char(']'))
            return false;
        int i = 1;
        const int end = pattern.size() - 1;
        if (pattern[i] == QLatin1Char('^')) {
            negated = true;
            ++i;
        }
        if (i >= end)
            return false;
        for (; i < end; ++i) {
            const QChar c = pattern[i];
            if (c.unicode() < 0x20 || c.unicode() > 0x7e || c == QLatin1Char('[') || c == QLatin1Char(']'))
                return false;
            if (c == QLatin1Char('%')) {
                if (++i >= end)
                    return false;
                const QChar e = pattern[i];
                if (e.isLetterOrNumber()) {
                    if (!QStringLiteral("adluwxsp").contains(e))
                        return false;
                    classes += e;
                } else {
                    ranges.append(qMakePair(e, e));
                }
            } else if (i + 2 < end && pattern[i + 1] == QLatin1Char('-')) {
                const QChar last = pattern[i + 2];
                if (last == QLatin1Char('%') || last.unicode() < 0x20 || last.unicode() > 0x7e || last < c)
                    return false;
                ranges.append(qMakePair(c, last));
                i += 2;
            } else {
                ranges.append(qMakePair(c, c));
            }
        }
        return true;
    }

    bool matches(QChar c) const
    {
        bool in = false;
        for (const auto &r : ranges)
            in = in || (c >= r.first && c <= r.second);
        for (const QChar cls : classes)
            in = in || luaClassMatches(cls, c);
        return in != negated;
    }
};

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
            static const QRegularExpression gsub(QStringLiteral("^string\\.gsub\\s*\\((.*)\\)$"));
            const auto gm = getVar.match(term);
            if (unquote(term, &v)) {
            } else if (gm.hasMatch()) {
                QString varName;
                unquote(gm.captured(1), &varName);
                termNil = !m_channelVars.contains(varName);
                v = m_channelVars.value(varName);
            } else if (gsub.match(term).hasMatch()) {
                if (!evaluateGsub(gsub.match(term).captured(1), &v, error))
                    return false;
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

bool CallScript::evaluateGsub(const QString &args, QString *value, QString *error) const
{
    // string.gsub(<expression>, "<one character set>", "") — dropping every
    // character of a set is all the call scripts need.
    const QStringList a = splitTopLevel(args, QStringLiteral(","));
    QString pattern;
    QString replacement;
    // No escapes in the pattern or replacement: Lua refuses some that this
    // reader's literals would take.
    if (a.size() != 3 || a[1].contains(QLatin1Char('\\')) || a[2].contains(QLatin1Char('\\'))
        || !unquote(a[1], &pattern) || !unquote(a[2], &replacement)) {
        *error = QStringLiteral("unsupported string.gsub arguments: ") + args;
        return false;
    }
    LuaCharSet set;
    if (!set.parse(pattern) || !replacement.isEmpty()) {
        *error = QStringLiteral("unsupported string.gsub pattern or replacement: ") + a[1] + QStringLiteral(", ") + a[2];
        return false;
    }
    QString subject;
    bool nil = false;
    if (!evaluate(a[0], &subject, &nil, error))
        return false;
    if (nil) {
        *error = QStringLiteral("bad argument #1 to 'gsub' (string expected, got nil)");
        return false;
    }
    value->clear();
    for (const QChar c : qAsConst(subject)) {
        if (!set.matches(c))
            value->append(c);
    }
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
