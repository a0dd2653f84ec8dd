#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonParseError>

// Parses JSON that arrives from the network. On top of QJsonDocument's own
// checks, an object that names the same key twice is refused: such input is
// never meaningful for us, and Qt 5's parser loses memory on some of it, which
// any peer could otherwise repeat at will.
QJsonDocument rdParseJson(const QByteArray &text, QJsonParseError *error);

// True when some object in `text` repeats a key (compared after unescaping).
// Text that is not well-formed JSON is left for the parser to judge.
bool rdJsonHasDuplicateKeys(const QByteArray &text);
