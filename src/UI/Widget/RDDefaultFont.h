#pragma once

#include <QFont>

// The application font: the system's general font in the family "msyh" for
// the Chinese language files ("cn" or "chinese", any letter case), else in
// "Arial".
QFont defaultFont();
// The same for a given language name.
QFont defaultFontFor(const QString &language);
