#pragma once

#include <QString>

// Shows where a file lies: opens its folder in the desktop's file manager.
// Nothing runs through a shell, so any file name is safe.
class RDFileReveal
{
public:
    // False when the path is empty or no file manager took the folder.
    static bool showInFolder(const QString &path);
};
