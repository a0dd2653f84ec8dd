#pragma once

// A scripted stand-in for the switch and its console client, for the tests
// of the switch supervision that need a switch misbehaving on purpose (one
// that ignores "shutdown", that dies at once, that fails a rescan).
//
// The test binary itself plays both programs: copied into a folder under the
// names of the switch and of its console client, it notices its name before
// main() runs and acts the part, driven by small files in that folder:
//   fake-switch   "run" (default: runs until SIGTERM, then exit 0),
//                 "hang" (ignores SIGTERM), "exit0", "exit3" (end at once)
//   fake-console  "ok" (default), "fail-rescan" (rescans answer -ERR),
//                 "silent" (prints nothing), "slow" (reloads answer after 1 s),
//                 "miss-first-shutdown" (the first "shutdown" finds no console)
// Both append what they do to fake-journal.txt ("start <pid>", "cmd <text>",
// "exit term" when the switch ends on SIGTERM).

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class FakeSwitchFolder
{
public:
    FakeSwitchFolder();
    bool isValid() const { return m_valid; }
    QString folder() const { return m_dir.path(); }

    void setSwitchMode(const QString &mode);
    void setConsoleMode(const QString &mode);
    // Lines of the journal, in order.
    QStringList journal() const;
    QStringList commands() const; // the "cmd" lines without the prefix
    int starts() const;           // the "start" lines

private:
    QTemporaryDir m_dir;
    bool m_valid = false;
};
