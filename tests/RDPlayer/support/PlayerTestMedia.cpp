#include "PlayerTestMedia.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QImage>
#include <QProcess>

namespace {
const int kProcessTimeoutMs = 30000;
// Bump when the set of files or their making changes.
const char *const kVersion = "media-v5";
} // namespace

PlayerTestMedia &PlayerTestMedia::instance()
{
    static PlayerTestMedia media;
    return media;
}

PlayerTestMedia::PlayerTestMedia()
{
    const QString base = qEnvironmentVariableIsEmpty("PA_BIN_DIR") ? QDir::tempPath()
                                                                  : qEnvironmentVariable("PA_BIN_DIR") + "/tests";
    m_folder = QDir(base).filePath(QStringLiteral("player-%1").arg(kVersion));
    if (QFile::exists(QDir(m_folder).filePath("done"))) {
        m_ready = true;
        return;
    }
    // Made aside and moved in place whole: parallel test processes either
    // find the finished set or make their own and lose the race harmlessly.
    QDir().mkpath(base);
    QTemporaryDir scratch(QDir(base).filePath("player-making-XXXXXX"));
    if (!scratch.isValid() || !make(scratch.path())) {
        if (m_error.isEmpty())
            m_error = QStringLiteral("cannot make the test media");
        return;
    }
    QFile(QDir(scratch.path()).filePath("done")).open(QIODevice::WriteOnly);
    if (QDir().rename(scratch.path(), m_folder))
        scratch.setAutoRemove(false);
    m_ready = QFile::exists(QDir(m_folder).filePath("done"));
}

QString PlayerTestMedia::path(const QString &name) const
{
    return QDir(m_folder).filePath(name);
}

QByteArray PlayerTestMedia::contents(const QString &name) const
{
    QFile file(path(name));
    if (!m_ready || !file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool PlayerTestMedia::ffmpeg(const QStringList &arguments, QString *output) const
{
    QProcess process;
    process.start(QStringLiteral("ffmpeg"), QStringList{"-y", "-v", "error", "-nostdin"} + arguments);
    const bool finished = process.waitForFinished(kProcessTimeoutMs);
    if (output)
        *output = QString::fromUtf8(process.readAllStandardError());
    if (!finished)
        process.kill();
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QString PlayerTestMedia::ffprobe(const QStringList &arguments) const
{
    QProcess process;
    process.start(QStringLiteral("ffprobe"), QStringList{"-v", "error"} + arguments);
    if (!process.waitForFinished(kProcessTimeoutMs)) {
        process.kill();
        return QString();
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

bool PlayerTestMedia::make(const QString &folder)
{
    auto path = [&folder](const QString &name) { return QDir(folder).filePath(name); };
    const QString bars = QStringLiteral("smptebars=size=320x240:rate=25:duration=%1");
    const QString tone = QStringLiteral("sine=frequency=440:duration=%1");
    const QStringList h264 = {"-c:v", "libx264", "-preset", "ultrafast", "-bf", "2", "-g", "25", "-pix_fmt", "yuv420p"};
    struct Job {
        const char *name;
        QStringList arguments;
    };
    const Job jobs[] = {
        {"sine.mp3", {"-f", "lavfi", "-i", tone.arg(1), "-c:a", "libmp3lame"}},
        {"long.mp3", {"-f", "lavfi", "-i", tone.arg(10), "-c:a", "libmp3lame"}},
        {"av.mp4", QStringList{"-f", "lavfi", "-i", bars.arg(2), "-f", "lavfi", "-i", tone.arg(2)} + h264
                       + QStringList{"-c:a", "aac", "-shortest"}},
        {"long.mp4", QStringList{"-f", "lavfi", "-i", bars.arg(3), "-f", "lavfi", "-i", tone.arg(3)} + h264
                         + QStringList{"-c:a", "aac", "-shortest"}},
        {"fast.mp4", QStringList{"-f", "lavfi", "-i", bars.arg(3)} + h264 + QStringList{"-movflags", "+faststart"}},
        {"noaudio.mp4", QStringList{"-f", "lavfi", "-i", bars.arg(1)} + h264},
        {"av.ts", QStringList{"-f", "lavfi", "-i", bars.arg(2), "-f", "lavfi", "-i", tone.arg(2)} + h264
                      // A key frame every fifth picture: a recording started
                      // late on a slow machine still finds one to begin at.
                      + QStringList{"-g", "5", "-c:a", "aac", "-shortest", "-f", "mpegts"}},
        // A silent camera-like live stream for the screens' players.
        {"bars.ts", QStringList{"-f", "lavfi", "-i", bars.arg(1)} + h264 + QStringList{"-f", "mpegts"}},
        {"raw.h264", QStringList{"-f", "lavfi", "-i", bars.arg(1)} + h264 + QStringList{"-f", "h264"}},
        {"odd.avi", {"-f", "lavfi", "-i", "testsrc=size=641x361:rate=25:duration=1", "-c:v", "mjpeg", "-pix_fmt",
                     "yuvj420p"}},
        {"yuv422.mkv", {"-f", "lavfi", "-i", bars.arg(1), "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt",
                        "yuv422p"}},
    };
    for (const Job &job : jobs) {
        QString output;
        if (!ffmpeg(job.arguments + QStringList{path(job.name)}, &output)) {
            m_error = QStringLiteral("%1: %2").arg(job.name, output);
            return false;
        }
    }

    // A grayscale JPEG repeated as an MJPEG clip: it decodes to 8-bit gray.
    QImage gray(64, 48, QImage::Format_Grayscale8);
    gray.fill(200);
    if (!gray.save(path("gray.jpg"), "JPEG", 95)
        || !ffmpeg({"-loop", "1", "-framerate", "25", "-i", path("gray.jpg"), "-t", "1", "-c:v", "copy",
                    path("gray.avi")})) {
        m_error = QStringLiteral("gray.avi");
        return false;
    }

    // Broken inputs: empty, cut in half (index at the end, and at the
    // front), and a stream with garbage in the middle.
    QFile(path("zero.mp4")).open(QIODevice::WriteOnly);
    // The one with the index in front keeps its first two whole seconds.
    auto cut = [&path](const QString &from, const QString &to, double share) {
        QFile source(path(from));
        QFile target(path(to));
        if (!source.open(QIODevice::ReadOnly) || !target.open(QIODevice::WriteOnly))
            return false;
        return target.write(source.read(qint64(source.size() * share))) > 0;
    };
    if (!cut("av.mp4", "truncated.mp4", 0.5) || !cut("fast.mp4", "truncated_fast.mp4", 0.7)) {
        m_error = QStringLiteral("truncated files");
        return false;
    }
    QFile::copy(path("av.ts"), path("corrupt.ts"));
    QFile corrupt(path("corrupt.ts"));
    if (!corrupt.open(QIODevice::ReadWrite)) {
        m_error = QStringLiteral("corrupt.ts");
        return false;
    }
    const qint64 middle = corrupt.size() / 2;
    QByteArray garbage(4096, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 7919 + 13) & 0xff);
    corrupt.seek(middle);
    corrupt.write(garbage);
    corrupt.close();
    return true;
}
