// The paint path against Qt doing the same work in the same run:
//  - a paint when nothing changed (the cached RGB32 copy drawn once) against Qt painting a
//    ready RGB32 image of the same size (goal: within 2x), and against Qt painting the 8-bit
//    image directly (what the cache avoids);
//  - the colour expansion after a change, each pair on the same terms (goal: within 1.5x):
//    into a buffer that already exists (as the window's cached copy is) against Qt drawing
//    the Indexed8 image over an RGB32 image it already has, and into a new image against
//    QImage::convertToFormat from Indexed8 to RGB32, which allocates one.
// Qt spreads large conversions over worker threads, so the figures are the whole process's
// CPU time. Run: build-*/bench/framework/bench_framework  (uses Qt's offscreen platform;
// VELLUM_BENCH_SMOKE=1: one iteration each).
#include "bench/BenchRun.h"
#include "framework/qt/AfxPaint.h"
#include "framework/qt/AfxQt.h"

#include <QApplication>
#include <QPainter>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace
{
constexpr int W = 1920;
constexpr int H = 1080;

struct Surface
{
    std::vector<std::uint8_t> bits = std::vector<std::uint8_t>(static_cast<std::size_t>(W) * H);
    RGBQUAD colors[256];
    QImage indexed;
    Surface()
    {
        for (std::size_t i = 0; i < bits.size(); ++i)
            bits[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 24);
        QList<QRgb> table;
        for (int i = 0; i < 256; ++i)
        {
            colors[i] = RGBQUAD{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i ^ 0x55),
                                static_cast<std::uint8_t>(255 - i), 0};
            table << qRgb(255 - i, i ^ 0x55, i);
        }
        indexed = QImage(bits.data(), W, H, W, QImage::Format_Indexed8);
        indexed.setColorTable(table);
    }
    // What every expansion must give.
    const QImage& Expected()
    {
        if (expected.isNull())
            expected = indexed.convertToFormat(QImage::Format_RGB32);
        return expected;
    }
    QImage expected;
    DibView View(std::uint64_t nGeneration) const
    {
        return DibView{bits.data(), W, H, -1, colors, nGeneration};
    }
};

Surface& TheSurface()
{
    static Surface s;
    return s;
}

class CBlitView : public CView
{
public:
    DibView m_dib;
    std::int64_t m_nBlits = 0;
    void OnDraw(CDC* pDC) override
    {
        m_nBlits += pDC->m_hDC->BlitFrom(m_dib, 0, 0, m_dib.nWidth, m_dib.nHeight, 0, 0) ? 1 : 0;
    }
};

// Painted the same way as a view: opaque, so Qt fills no background first.
class CImageWidget : public QWidget
{
public:
    CImageWidget()
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
    }
    QImage m_image;
    // The overload with a source rectangle takes Qt's plain-copy path, as the window DC does.
    void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(QPoint(0, 0), m_image, m_image.rect()); }
};

void BM_PaintUnchanged(benchmark::State& state)
{
    CBlitView view;
    view.Create(nullptr, nullptr, WS_CHILD, CRect(0, 0, W, H), nullptr, 1);
    view.m_dib = TheSurface().View(1);
    QImage target(W, H, QImage::Format_RGB32);
    AfxGetWidget(&view)->render(&target);  // the first paint converts
    const std::uint64_t nConversions = AfxPaintCacheConversions(&view);
    target.fill(Qt::black);  // so the check below sees the loop's paints
    for (auto _ : state)
    {
        AfxGetWidget(&view)->render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
    if (AfxPaintCacheConversions(&view) != nConversions)
        state.SkipWithError("the cache was rebuilt");
    if (view.m_nBlits != static_cast<std::int64_t>(state.iterations()) + 1)
        state.SkipWithError("a paint did not blit");
    const Surface& s = TheSurface();
    const RGBQUAD& q = s.colors[s.bits[static_cast<std::size_t>(W) * (H - 1) + (W - 1)]];
    if (target.pixel(W - 1, H - 1) != qRgb(q.rgbRed, q.rgbGreen, q.rgbBlue))
        state.SkipWithError("the window does not show the surface");
}
BENCHMARK(BM_PaintUnchanged)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->Apply(SmokeOnce);

void BM_QtPaintReadyRgb32(benchmark::State& state)
{
    CImageWidget widget;
    widget.resize(W, H);
    AfxExpandDibToImage(TheSurface().View(1), widget.m_image);
    QImage target(W, H, QImage::Format_RGB32);
    for (auto _ : state)
    {
        widget.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_QtPaintReadyRgb32)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->Apply(SmokeOnce);

void BM_QtPaintIndexed8(benchmark::State& state)
{
    CImageWidget widget;
    widget.resize(W, H);
    widget.m_image = TheSurface().indexed;
    QImage target(W, H, QImage::Format_RGB32);
    for (auto _ : state)
    {
        widget.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_QtPaintIndexed8)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->Apply(SmokeOnce);

void BM_ExpandIntoBuffer(benchmark::State& state)
{
    QImage image(W, H, QImage::Format_RGB32);
    const DibView src = TheSurface().View(1);
    for (auto _ : state)
    {
        AfxExpandDib(src, reinterpret_cast<std::uint32_t*>(image.bits()), image.bytesPerLine() / 4);
        benchmark::DoNotOptimize(image.constBits());
    }
    if (image != TheSurface().Expected())
        state.SkipWithError("the expansion is not the surface's colours");
}
BENCHMARK(BM_ExpandIntoBuffer)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->Apply(SmokeOnce);

// Qt's conversion into an image it already has: the counterpart of BM_ExpandIntoBuffer.
void BM_QtDrawIndexed8IntoBuffer(benchmark::State& state)
{
    const QImage& indexed = TheSurface().indexed;
    QImage image(W, H, QImage::Format_RGB32);
    for (auto _ : state)
    {
        QPainter painter(&image);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QPoint(0, 0), indexed, indexed.rect());
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
    if (image != TheSurface().Expected())
        state.SkipWithError("Qt's drawing is not the surface's colours");
}
BENCHMARK(BM_QtDrawIndexed8IntoBuffer)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->Apply(SmokeOnce);

void BM_ExpandIntoNewImage(benchmark::State& state)
{
    const DibView src = TheSurface().View(1);
    for (auto _ : state)
    {
        QImage image;
        AfxExpandDibToImage(src, image);
        benchmark::DoNotOptimize(image.constBits());
    }
    QImage last;
    AfxExpandDibToImage(src, last);
    if (last != TheSurface().Expected())
        state.SkipWithError("the expansion is not the surface's colours");
}
BENCHMARK(BM_ExpandIntoNewImage)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->Apply(SmokeOnce);

void BM_QtConvertIndexed8ToRgb32(benchmark::State& state)
{
    const QImage& indexed = TheSurface().indexed;
    for (auto _ : state)
    {
        QImage image = indexed.convertToFormat(QImage::Format_RGB32);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_QtConvertIndexed8ToRgb32)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->Apply(SmokeOnce);

class CRatioReporter : public CBenchReporter
{
public:
    std::map<std::string, double> m_times;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        CBenchReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred)
                m_times[r.benchmark_name()] = r.GetAdjustedCPUTime();
    }
    void Ratio(const char* label, const char* mine, const char* reference, double goal) const
    {
        const auto a = m_times.find(mine);
        const auto b = m_times.find(reference);
        if (a == m_times.end() || b == m_times.end() || b->second <= 0)
            return;
        const double ratio = a->second / b->second;
        if (goal > 0)
            std::printf("%-48s %6.2fx  (goal <= %.1fx: %s)\n", label, ratio, goal, ratio <= goal ? "met" : "MISSED");
        else
            std::printf("%-48s %6.2fx\n", label, ratio);
    }
};
}  // namespace

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    CRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nRatios against the same run (process CPU time per iteration):\n");
    PrintSmokeNote();
    reporter.Ratio("paint unchanged / Qt paints ready RGB32", "BM_PaintUnchanged/process_time", "BM_QtPaintReadyRgb32/process_time", 2.0);
    reporter.Ratio("Qt paints Indexed8 / Qt paints ready RGB32", "BM_QtPaintIndexed8/process_time", "BM_QtPaintReadyRgb32/process_time", 0);
    reporter.Ratio("expansion into buffer / Qt draws into buffer", "BM_ExpandIntoBuffer/process_time",
                   "BM_QtDrawIndexed8IntoBuffer/process_time", 1.5);
    reporter.Ratio("expansion into new image / Qt convertToFormat", "BM_ExpandIntoNewImage/process_time",
                   "BM_QtConvertIndexed8ToRgb32/process_time", 1.5);
    benchmark::Shutdown();
    return reporter.ExitStatus();
}
