// Scrolling: a grid of 1,000 titles (the catalogue's poster grid in a scroll area, as a list
// screen shows it) scrolled from top to bottom at a steady pace, one step per 16 ms frame, with
// every poster a distinct download from the sample site on loopback. A frame is the work from
// moving the scroll bar to the end of its paint and flush; network replies and decoded posters
// are handled between frames, as the event loop would. Also follows the image loader's memory
// against its cap.
//
//   bench_scroll [pixels per frame, default 60]       (offscreen unless told otherwise)
//
// Prints the 95th-percentile frame time last (goal <= 16 ms, image memory under the cap).

#include "clientrun.h"

#include "network/imageloader.h"
#include "views/components/postergrid.h"
#include "views/palette.h"

#include <QApplication>
#include <QNetworkAccessManager>
#include <QScrollArea>
#include <QScrollBar>

using namespace tovra;
using namespace tovra::bench;

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int step = argc > 1 ? std::max(1, atoi(argv[1])) : 60;
    constexpr int kTitles = 1000;
    // The sample site paints this many distinct posters; a query makes every title's address
    // its own, so each card is one download and one decode.
    constexpr int kSitePosters = 320;
    constexpr qint64 kFrameNs = 16'000'000;

    SampleSite site;
    if (!site.start()) {
        std::fprintf(stderr, "bench_scroll: the sample site did not start\n");
        return 1;
    }
    Palette::installApplicationTheme();
    QNetworkAccessManager network;
    ImageLoader images(&network);
    ImageLoader::setShared(&images);

    QList<Item> items;
    for (int i = 0; i < kTitles; ++i) {
        Item item;
        item.did = QString::number(10000 + i);
        item.title = QStringLiteral("影片标题 %1").arg(i + 1);
        item.image = QStringLiteral("%1/posters/%2.jpg?copy=%3").arg(site.base()).arg(i % kSitePosters + 1).arg(i);
        item.score = QStringLiteral("7.%1").arg(i % 10);
        item.showdate = QStringLiteral("2024-0%1-01").arg(i % 9 + 1);
        items.append(item);
    }

    // The window's content area at its default size, beside the sidebar and under the top bar.
    QScrollArea area;
    area.setWidgetResizable(true);
    area.setFrameShape(QFrame::NoFrame);
    auto *grid = new PosterGrid;
    grid->setItems(items);
    area.setWidget(grid);
    area.resize(1340, 900);
    area.show();
    QScrollBar *bar = area.verticalScrollBar();
    for (int i = 0; i < 50 && bar->maximum() == 0; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const int bottom = bar->maximum();

    std::vector<double> frames;
    qint64 imageBytesPeak = 0;
    int heldPeak = 0;
    qint64 nextFrame = monotonicNs();
    for (int value = 0;; value = std::min(bottom, value + step)) {
        const qint64 start = monotonicNs();
        bar->setValue(value);
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        frames.push_back((monotonicNs() - start) / 1e6);
        imageBytesPeak = std::max(imageBytesPeak, images.memoryUsed());
        heldPeak = std::max(heldPeak, grid->heldImageCount());
        if (value >= bottom)
            break;
        nextFrame += kFrameNs;
        while (monotonicNs() < nextFrame) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            QThread::usleep(200);
        }
    }
    // The last screenful's posters, still on their way.
    QElapsedTimer tail;
    tail.start();
    while (tail.elapsed() < 2000 && images.activeDownloads() > 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    imageBytesPeak = std::max(imageBytesPeak, images.memoryUsed());
    ImageLoader::setShared(nullptr);

    std::vector<double> sorted = frames;
    std::sort(sorted.begin(), sorted.end());
    const double p95 = sorted[std::min(sorted.size() - 1, size_t(sorted.size() * 0.95))];
    const Spread s = spread(frames);
    const auto slow = std::count_if(frames.begin(), frames.end(), [](double ms) { return ms > 16.0; });
    const double capMb = images.memoryLimit() / 1048576.0;
    const double peakMb = imageBytesPeak / 1048576.0;
    std::printf("scrolled %d px in %zu frames of %d px (%d titles, %d rows)\n", bottom, frames.size(), step, kTitles,
                (kTitles + 6) / 7);
    std::printf("frame time: median %.2f ms (%.2f-%.2f), %lld frames over 16 ms\n", s.median, s.min, s.max,
                static_cast<long long>(slow));
    std::printf("posters held by the grid at most: %d\n", heldPeak);
    std::printf("image memory high-water: %.1f MB of the loader's %.0f MB cap\n", peakMb, capMb);
    std::printf("p95 frame time: %.2f ms (goal <= 16 ms; image memory under the cap): %s\n", p95,
                p95 <= 16.0 && imageBytesPeak <= images.memoryLimit() ? "met" : "NOT met");
    return 0;
}
