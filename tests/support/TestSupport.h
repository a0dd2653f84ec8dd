#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <ostream>
#include <vector>

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
// Waits up to `ms` until some process holds UDP `port` on every address or
// on 127.0.0.1 (a program started on that port, such as sipp, binds a moment
// after it starts). The probe binds without address sharing, so a socket
// that shares its address is seen as well.
bool waitUntilUdpPortHeld(int port, int ms = 10000);
// An even UDP port whose odd neighbour is free too (an RTP/RTCP pair).
int freeRtpPort();
// A base for sipp's -mp: the four ports sipp binds from it are free.
int freeSippMediaPort();
// Calls a sipp run completed, from its final statistics screen (a stray
// retransmission arriving after the call can make sipp wait for a second
// call and end with a time-out, which says nothing of the first); -1 when
// the screen holds no count.
int sippCompletedCalls(const QByteArray &screen);

// Writes `content` to `path`, creating its folder; false on any failure.
bool writeFile(const QString &path, const QByteArray &content);

// Writes a silent 8 kHz mono 16-bit WAV file of `ms` milliseconds.
bool writeWav(const QString &path, int ms);
// Writes the samples as a mono 16-bit WAV file at `rate` Hz.
bool writeWav(const QString &path, const std::vector<int16_t> &pcm, int rate);

// Number of file descriptors this process holds open.
int openFdCount();

// Kernel id of the calling thread.
int currentThreadId();
// Ids of this process's threads whose name starts with `prefix` (the kernel
// keeps the first 15 bytes of a thread's name), leaving out `notAmong`: a
// thread that was joined may still be listed for a moment, so take the ids
// before the code under test starts its threads and pass them here.
QList<int> threadIdsNamed(const QString &prefix, const QList<int> &notAmong = {});
// Times thread `tid` has been switched out so far, voluntarily or not: each
// is one wake-up of an idle thread. -1 when the thread is gone.
long long threadSwitches(int tid);
// Switches of the threads `tids` over the next `ms` milliseconds (the
// caller's thread sleeps meanwhile). -1 when one of them is gone.
long long switchesOver(const QList<int> &tids, int ms);

} // namespace PaTest
