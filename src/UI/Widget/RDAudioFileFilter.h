#pragma once

#include <QString>
#include <QStringList>

// Name filters of the audio file pickers. Patterns are matched by letter
// case on Linux, so each extension is written to match any case (".MP3",
// ".Wav"), and the patterns of one entry are split by spaces.
class RDAudioFileFilter
{
public:
    // "Audio files (*.[mM][pP]3 *.[wW][aA][vV])" for {"mp3", "wav"}.
    static QString nameFilter(const QStringList &extensions);
    // The pattern of one extension: "*.[mM][pP]3" for "mp3".
    static QString pattern(const QString &extension);

    // What the add button and the prayer rows take.
    static QString basicFilter();
    // What the media list's "Add" takes (also FLAC).
    static QString extendedFilter();
};
