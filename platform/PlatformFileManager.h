#pragma once

#include <QString>

#include <functional>

// Shows a file to the user in the desktop's file manager.
namespace Platform {

// Asks the session's file manager to open the file's folder with the file
// selected; when no file manager answers, the folder is opened with the
// desktop's default program. No shell is involved. False when neither could
// be started.
bool showInFileManager(const QString &path);

// Replaces the desktop for tests: `handler` receives each path instead, and
// an empty handler restores the desktop.
void setFileManagerHandler(const std::function<void(const QString &)> &handler);

} // namespace Platform
