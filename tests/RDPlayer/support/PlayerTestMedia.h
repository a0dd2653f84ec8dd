#pragma once

#include <QString>

// Short media files made with the ffmpeg command-line tool. They are made
// once per build (under the build's test folder, or the temporary folder) and
// shared by every test process; a new set appears when kVersion changes.
class PlayerTestMedia
{
public:
    static PlayerTestMedia &instance();

    bool isReady() const { return m_ready; }
    QString error() const { return m_error; }
    QString path(const QString &name) const;
    // The bytes of one made file; empty when the set is not ready or it cannot be read.
    QByteArray contents(const QString &name) const;

    // Runs ffmpeg with `arguments` (after "-y -v error"); true on exit code 0.
    bool ffmpeg(const QStringList &arguments, QString *output = nullptr) const;
    // Runs ffprobe and returns its standard output.
    QString ffprobe(const QStringList &arguments) const;

private:
    PlayerTestMedia();
    bool make(const QString &folder);

    QString m_folder;
    bool m_ready = false;
    QString m_error;
};
