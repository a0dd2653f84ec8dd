#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <ostream>

// Readable gtest output for Qt strings.
void PrintTo(const QString &s, std::ostream *os);
void PrintTo(const QByteArray &s, std::ostream *os);

namespace PaTest {

// Runs the Qt event loop until `done` returns true or `timeoutMs` passes.
// Returns the last value of `done`. Tests wait on conditions, never on fixed sleeps.
bool waitUntil(const std::function<bool()> &done, int timeoutMs = 5000);

// Folder of the built executables (bin/), and of the built switch package.
QString binDir();
QString switchDir();
// Root of the source tree, for fixtures kept under tests/.
QString sourceDir();

// A TCP or UDP port free on every address right now, for code under test that
// must be told its port before it listens. Chosen below the kernel's range for
// outgoing connections, so another test's client socket cannot take it first.
int freeTcpPort();
int freeUdpPort();
// An even UDP port whose odd neighbour is free too (an RTP/RTCP pair).
int freeRtpPort();

// Writes a silent 8 kHz mono 16-bit WAV file of `ms` milliseconds.
bool writeWav(const QString &path, int ms);

// Number of file descriptors this process holds open.
int openFdCount();

} // namespace PaTest
