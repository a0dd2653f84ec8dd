#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>

#include <ctime>

// File helpers over Qt's file classes.
// Copies `from` to `to`; an existing destination is left as it is.
void copyFile(const QString &from, const QString &to);
// True only when the file existed and was removed.
bool removeFile(const QString &path);
// Creates the folder (one level) when missing; true when it exists afterwards.
bool makeDir(const QString &path);
// The whole file; empty when it cannot be opened.
QByteArray readFile(const QString &path);
// Replaces the file's content with `data`. True only when every byte was
// written and the file was closed without error.
bool writeFile(const QString &path, const QByteArray &data);

// Text and value helpers.
// True when some byte of the text's UTF-8 form is 0x80 or above.
bool hasNonAscii(const QString &text);
// Full-width colon (U+FF1A) to ':' and ideographic full stop (U+3002) to '.'.
QString normalizeIpText(const QString &text);
// "HH:MM:SS" above one hour, "MM:SS" otherwise (3600 gives "60:00").
QString formatDuration(double seconds);
// The local time now as "yyyy-MM-dd HH:mm:ss". Cheap from many threads at
// once: the system's time zone is looked up again at most once a minute,
// not on every call as QDateTime::currentDateTime() does.
QString localTimeNowText();
// The local time of `secs`, valid until the thread's next call. A thread
// converts each second once: localtime_r takes the C library's zone lock, and
// log lines and records are stamped many times a second from many threads.
const std::tm &localTimeOf(std::time_t secs);
// File name without folder and last extension.
QString fileBaseName(const QString &path);
// Text after the last '.'; the whole name when there is none or it ends the name.
QString fileSuffix(const QString &name);
// Whether the address part (before the first ':') is an address Qt accepts.
bool isValidIpAddress(const QString &text);
// The screens' theme colour, rgb(53,141,0); the second form also fills `color`.
QColor rdThemeColor();
QColor rdThemeColor(QColor &color);

// QR code of the text's UTF-8 bytes (version 2 or above, level Q), `size`
// pixels wide, centred in a white `width` x `height` image. A null image
// when the text cannot be encoded (too long, say) or the image is empty.
QImage createQRCodeImage(const QString &text, int width, int height, int size);

// Start at logon for the current user. False when the entry could not be
// written (or removed).
bool enableAutoStart();
bool disableAutoStart();
