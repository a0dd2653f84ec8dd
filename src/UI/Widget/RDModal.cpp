#include "RDModal.h"

#include "RDLog.h"

#include <QDialog>
#include <QFileDialog>
#include <QGuiApplication>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QTimer>

namespace {

struct ModalState
{
    QList<RDModal::Answer> answers;
    QList<QPair<QString, QString>> shown;
    RDModal::Handler handler;
};

ModalState &state()
{
    static ModalState s;
    return s;
}

bool nobodyCanAnswer()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

int runReal(const RDModal::Answer &answer, const QString &kind, const QString &text,
            const std::function<int()> &exec, QObject *dialog)
{
    QPointer<QObject> target(dialog);
    if (answer.action && dialog)
        QTimer::singleShot(0, dialog, [answer, target] {
            if (target)
                answer.action(target);
        });
    bool expired = false;
    auto *dlg = qobject_cast<QDialog *>(dialog);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        expired = true;
        if (dlg)
            dlg->done(QDialog::Rejected);
    });
    watchdog.start(answer.watchdogMs);
    const int result = exec();
    watchdog.stop();
    if (expired && state().handler)
        state().handler(QStringLiteral("watchdog expired: ") + kind, text);
    return result;
}

} // namespace

int RDModal::run(const QString &kind, const QString &text, int fallback, const std::function<int()> &exec,
                 QObject *dialog, QStringList *files, bool endsByItself)
{
    ModalState &s = state();
    s.shown.append(qMakePair(kind, text));
    if (!s.answers.isEmpty()) {
        const Answer answer = s.answers.takeFirst();
        if (!answer.kind.isEmpty() && answer.kind != kind) {
            const QString what = QStringLiteral("%1 answered for %2").arg(answer.kind, kind);
            return s.handler ? s.handler(what, text) : fallback;
        }
        if (answer.realExec)
            return runReal(answer, kind, text, exec, dialog);
        if (answer.action && dialog)
            answer.action(dialog);
        if (files)
            *files = answer.files;
        if (auto *dlg = qobject_cast<QDialog *>(dialog))
            dlg->setResult(answer.result);
        return answer.result;
    }
    if (s.handler)
        return s.handler(kind, text);
    if (nobodyCanAnswer() && !endsByItself) {
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "%s without a display, answered %d: %s\n",
                    qPrintable(kind), fallback, qPrintable(text));
        return fallback;
    }
    return exec();
}

// A file picker through the modal road: the picker's own choice when it
// ran, else the files of the scripted answer.
static QStringList pick(const QString &kind, const QString &caption, const std::function<QStringList()> &show)
{
    QStringList scripted;
    QStringList picked;
    RDModal::run(kind, caption, 0, [&] {
        picked = show();
        picked.removeAll(QString()); // a cancelled single picker gives one empty name
        return picked.isEmpty() ? 0 : 1;
    }, nullptr, &scripted);
    return picked.isEmpty() ? scripted : picked;
}

QString RDModal::getOpenFileName(QWidget *parent, const QString &caption, const QString &dir, const QString &filter)
{
    return pick(QStringLiteral("open file"), caption, [&] {
        return QStringList(QFileDialog::getOpenFileName(parent, caption, dir, filter));
    }).value(0);
}

QStringList RDModal::getOpenFileNames(QWidget *parent, const QString &caption, const QString &dir,
                                      const QString &filter)
{
    return pick(QStringLiteral("open files"), caption,
                [&] { return QFileDialog::getOpenFileNames(parent, caption, dir, filter); });
}

QString RDModal::getSaveFileName(QWidget *parent, const QString &caption, const QString &dir, const QString &filter)
{
    return pick(QStringLiteral("save file"), caption, [&] {
        return QStringList(QFileDialog::getSaveFileName(parent, caption, dir, filter));
    }).value(0);
}

QString RDModal::getExistingDirectory(QWidget *parent, const QString &caption, const QString &dir)
{
    return pick(QStringLiteral("folder"), caption,
                [&] { return QStringList(QFileDialog::getExistingDirectory(parent, caption, dir)); })
        .value(0);
}

void RDModal::queue(const Answer &answer)
{
    state().answers.append(answer);
}

void RDModal::queue(const QString &kind, int result)
{
    Answer answer;
    answer.kind = kind;
    answer.result = result;
    queue(answer);
}

int RDModal::pendingAnswers()
{
    return state().answers.size();
}

void RDModal::clearAnswers()
{
    state().answers.clear();
}

void RDModal::setUnscriptedHandler(const Handler &handler)
{
    state().handler = handler;
}

RDModal::Handler RDModal::unscriptedHandler()
{
    return state().handler;
}

QStringList RDModal::takeShown(const QString &kind)
{
    QStringList texts;
    QList<QPair<QString, QString>> kept;
    for (const auto &entry : state().shown) {
        if (kind.isEmpty() || entry.first == kind)
            texts.append(entry.second);
        else
            kept.append(entry);
    }
    state().shown = kept;
    return texts;
}
