// Image-cache figures: what a repaint of an image button costs with the
// cache (one lookup) against rendering its vector image anew each time.
#include "RDPixmapButton.h"
#include "RDPixmapCache.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <benchmark/benchmark.h>

namespace {

const QString kIcon = QStringLiteral(":/resources/close_black.svg");

// The cached road: a path and width seen before.
void BM_ScaledPixmapCached(benchmark::State &state)
{
    scaledPixmap(kIcon, 20);
    for (auto _ : state)
        benchmark::DoNotOptimize(scaledPixmap(kIcon, 20));
}
BENCHMARK(BM_ScaledPixmapCached);

// Without a cache: parse and render the image for every paint.
void BM_RenderVectorEachTime(benchmark::State &state)
{
    for (auto _ : state) {
        QSvgRenderer renderer(kIcon);
        QPixmap pixmap(20, 20);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        benchmark::DoNotOptimize(pixmap);
    }
}
BENCHMARK(BM_RenderVectorEachTime);

// A whole paint of a 20 px image button into an image.
void BM_PaintPixmapButton(benchmark::State &state)
{
    RDPixmapButton button;
    button.setPixmap(kIcon, 20);
    button.resize(20, 20);
    QImage target(20, 20, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        button.render(&target);
        benchmark::DoNotOptimize(target);
    }
}
BENCHMARK(BM_PaintPixmapButton);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
