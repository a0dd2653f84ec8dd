#include "RDPixmapCache.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QPainter>
#include <QSharedPointer>
#include <QSvgRenderer>

static void initResourcesOnce()
{
    Q_INIT_RESOURCE(UIWidget);
}

namespace {

struct Entry
{
    int loadedWidth = 0;
    QPixmap loaded;
    QSharedPointer<QSvgRenderer> vector; // set for vector images
    QMap<int, QPixmap> byWidth;
};

QHash<QString, Entry> &cache()
{
    static QHash<QString, Entry> c;
    return c;
}

QHash<QString, QList<QPixmap>> &readyCache()
{
    static QHash<QString, QList<QPixmap>> c;
    return c;
}

RDPixmapCacheStats &stats()
{
    static RDPixmapCacheStats s;
    return s;
}

Entry load(const QString &path)
{
    Entry entry;
    ++stats().loads;
    if (path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        auto renderer = QSharedPointer<QSvgRenderer>::create(path);
        if (renderer->isValid() && !renderer->defaultSize().isEmpty()) {
            entry.vector = renderer;
            const QSize size = renderer->defaultSize();
            entry.loaded = QPixmap(size);
            entry.loaded.fill(Qt::transparent);
            QPainter painter(&entry.loaded);
            renderer->render(&painter);
        }
    } else {
        entry.loaded = QPixmap(path);
    }
    entry.loadedWidth = entry.loaded.isNull() ? 0 : entry.loaded.width();
    entry.byWidth.insert(entry.loadedWidth, entry.loaded);
    return entry;
}

QPixmap scale(const Entry &entry, int width)
{
    ++stats().scales;
    if (entry.loaded.isNull())
        return QPixmap();
    if (!entry.vector)
        return entry.loaded.scaledToWidth(width, Qt::SmoothTransformation);
    const QSize size = entry.vector->defaultSize();
    const int height = qMax(1, qRound(double(width) * size.height() / size.width()));
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, true);
    entry.vector->render(&painter, QRectF(0, 0, width, height));
    return pixmap;
}

} // namespace

void initWidgetResources()
{
    static const bool done = [] {
        initResourcesOnce();
        return true;
    }();
    Q_UNUSED(done);
}

QPixmap scaledPixmap(const QString &path, int width)
{
    if (path.isEmpty())
        return QPixmap();
    initWidgetResources();
    auto it = cache().find(path);
    if (it == cache().end())
        it = cache().insert(path, load(path));
    Entry &entry = it.value();
    if (width <= 0)
        width = entry.loadedWidth;
    auto found = entry.byWidth.constFind(width);
    if (found != entry.byWidth.constEnd())
        return found.value();
    const QPixmap pixmap = scale(entry, width);
    entry.byWidth.insert(width, pixmap);
    return pixmap;
}

QPixmap findCachedPixmap(const QString &path, int width, int height)
{
    for (const QPixmap &p : readyCache().value(path)) {
        if (p.width() == width && p.height() == height)
            return p;
    }
    return QPixmap();
}

void cachePixmap(const QString &path, const QPixmap &pixmap)
{
    readyCache()[path].append(pixmap);
}

RDPixmapCacheStats pixmapCacheStatsForTesting()
{
    return stats();
}
