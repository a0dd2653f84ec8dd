#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QObject;
class QWidget;

// The one road of every modal run of the screens (dialogs, alert and
// message boxes, file pickers), so that tests can answer them in advance.
//
// A run first takes the next queued answer. Without one it asks the
// unscripted handler (a test installs one that fails the test at once);
// without a handler, on a platform where nobody can answer (offscreen,
// minimal) it logs the request and gives the caller's fallback answer,
// unless the run ends by itself (a busy dialog in front of work), which
// then runs as it is; otherwise it runs the real modal loop.
class RDModal
{
public:
    struct Answer
    {
        QString kind;          // the run it expects ("alert", "dialog:RDNetworkSelectDialog", ...); empty: any
        int result = 0;        // what exec() returns (a QMessageBox button for boxes)
        QStringList files;     // what a file picker returns
        // Runs on the dialog before the result is given, or, with realExec,
        // once the dialog's own loop runs.
        std::function<void(QObject *dialog)> action;
        // Run the dialog's real loop (a loading dialog's worker, say);
        // ended as rejected and reported when it outlasts the watchdog.
        bool realExec = false;
        int watchdogMs = 5000;
    };

    // Runs one modal. `exec` is the real loop; `dialog` may be null.
    static int run(const QString &kind, const QString &text, int fallback, const std::function<int()> &exec,
                   QObject *dialog = nullptr, QStringList *files = nullptr, bool endsByItself = false);

    // File pickers through the same road. `filter` lists patterns split by
    // spaces within one entry and ";;" between entries.
    static QString getOpenFileName(QWidget *parent, const QString &caption, const QString &dir,
                                   const QString &filter);
    static QStringList getOpenFileNames(QWidget *parent, const QString &caption, const QString &dir,
                                        const QString &filter);
    static QString getSaveFileName(QWidget *parent, const QString &caption, const QString &dir,
                                   const QString &filter);
    static QString getExistingDirectory(QWidget *parent, const QString &caption, const QString &dir);

    // Test side.
    static void queue(const Answer &answer);
    static void queue(const QString &kind, int result);
    static int pendingAnswers();
    static void clearAnswers();
    // Called for a run with nothing queued or a queued answer of another
    // kind, and when a real run outlasts its watchdog; its value is the result.
    using Handler = std::function<int(const QString &kind, const QString &text)>;
    static void setUnscriptedHandler(const Handler &handler);
    static Handler unscriptedHandler();
    // Texts of the runs of `kind` (all kinds when empty) since the last call.
    static QStringList takeShown(const QString &kind = QString());
};
