#pragma once

#include <QPixmap>
#include <QString>

// Process-wide image caches of the kit (GUI thread only).
//
// scaledPixmap(path, width): the image at `path` drawn `width` pixels wide,
// aspect kept; width 0 gives it at its own size, an empty path a null
// pixmap. Each path is loaded once and each width made once per process;
// a path that fails to load stays a null image of width 0. Vector images
// (".svg") are rendered at the width asked, raster ones scaled smoothly.
QPixmap scaledPixmap(const QString &path, int width);

// A second cache of ready pixmaps of any size per path, kept by the zone
// tiles: the first one of `width` x `height`, or a null pixmap.
QPixmap findCachedPixmap(const QString &path, int width, int height);
void cachePixmap(const QString &path, const QPixmap &pixmap);

// Makes the kit's own images (":/resources/...") available; idempotent.
void initWidgetResources();

// How often scaledPixmap() has loaded a file and made a width since the start.
struct RDPixmapCacheStats
{
    int loads = 0;
    int scales = 0;
};
RDPixmapCacheStats pixmapCacheStatsForTesting();
