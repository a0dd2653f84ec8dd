#pragma once

#include <QString>

// Start at logon for the current user, as an XDG autostart desktop entry.
namespace Platform {

// Folder of the user's autostart entries: $XDG_CONFIG_HOME/autostart, or
// $HOME/.config/autostart. A folder set with setAutostartFolder wins.
QString autostartFolder();
// Overrides the folder (an empty text returns to the default).
void setAutostartFolder(const QString &folder);

// Path of the entry that belongs to the application `appName`.
QString autostartEntryPath(const QString &appName);

// The program the entry of `appName` starts (unquoted), empty when there is
// no entry or it names no program.
QString autostartProgram(const QString &appName);

// Writes (atomically) an entry that starts `program` at logon. False when
// the folder or the file cannot be written.
bool writeAutostartEntry(const QString &appName, const QString &program);

// Removes the entry of `appName`. True when no entry is left.
bool removeAutostartEntry(const QString &appName);

} // namespace Platform
