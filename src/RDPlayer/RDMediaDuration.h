#pragma once

#include <QString>

// Playing time in seconds of the best audio stream of a media file, from
// the stream's own duration or else the container's; 0.0 for an empty
// path, a file that cannot be opened or one without audio.
double getMediaDuration(const QString &path);
