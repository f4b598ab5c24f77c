// The view's paint of a 1920 x 1080 surface holding a loaded picture, through the real
// document, view, surface and window, against Qt doing the same work in the same run:
//  - a paint when nothing changed since the last one (SelectPalette, RealizePalette and the
//    blit of the cached window-format copy) against Qt painting a ready RGB32 image of the
//    same size (goal: within 2x);
//  - the colour expansion a paint does after a render, from the surface itself, each pair on
//    the same terms (goal: within 1.5x): into the window's cached copy, which already exists,
//    against Qt drawing the same pixels as Indexed8 over an RGB32 image it already has; and
//    into a new image against QImage::convertToFormat from Indexed8 to RGB32.
// Run: build-*/bench/document/bench_document  (VELLUM_BENCH_SMOKE=1: one iteration each)

#include "bench/BenchRun.h"
#include "tests/formats/SampleFiles.h"

#include "document/VellumDoc.h"
#include "document/VellumView.h"
#include "framework/qt/AfxQt.h"

#include <QApplication>
#include <QPainter>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace
{

constexpr int W = 1920;
constexpr int H = 1080;

// A document and its view, sized to W x H, with a W x H picture loaded as the program
// loads one.
struct Hosted
{
    CVellumDoc* pDoc = nullptr;
    CVellumView* pView = nullptr;

    Hosted()
    {
        pDoc = new CVellumDoc;
        pView = new CVellumView;
        CCreateContext context;
        context.m_pCurrentDoc = pDoc;
        pView->Create(nullptr, nullptr, WS_CHILD, CRect(0, 0, W, H), nullptr, AFX_IDW_PANE_FIRST, &context);
        pView->SendMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(W, H));

        const std::filesystem::path path = std::filesystem::temp_directory_path() / "vellum-viewbench.bmp";
        const std::vector<std::uint8_t> file = MakeSampleBmp(W, H);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
        if (!pDoc->OnOpenDocument(path.c_str()) || pDoc->m_nDataType != DATA_BMP)
            std::abort();
        std::filesystem::remove(path);
    }
    ~Hosted()
    {
        delete pView;
        delete pDoc;
    }
    DibView Dib() const
    {
        DibView dib;
        WinGGetDibView(pView->m_surface.m_hDC, &dib);
        return dib;
    }
    // The surface's pixels and colours as an Indexed8 image, rows as shown.
    QImage Indexed() const
    {
        const DibView dib = Dib();
        QImage image(W, H, QImage::Format_Indexed8);
        QList<QRgb> table;
        for (int i = 0; i < 256; ++i)
            table << qRgb(dib.pColors[i].rgbRed, dib.pColors[i].rgbGreen, dib.pColors[i].rgbBlue);
        image.setColorTable(table);
        for (int y = 0; y < H; ++y)
            std::memcpy(image.scanLine(y), dib.pBits + static_cast<std::size_t>(dib.nOrientation >= 0 ? H - 1 - y : y) * W, W);
        return image;
    }
    // What every expansion of the surface must give.
    QImage Expected() const { return Indexed().convertToFormat(QImage::Format_RGB32); }
};

Hosted& TheView()
{
    static Hosted s_hosted;
    return s_hosted;
}

// The reference paints the same way the view's window does: opaque, nothing erased first.
class CImageWidget : public QWidget
{
public:
    CImageWidget()
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
    }
    QImage m_image;
    void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, m_image); }
};

void BM_ViewPaintUnchanged(benchmark::State& state)
{
    Hosted& h = TheView();
    QWidget* pWidget = AfxGetWidget(h.pView);
    QImage target(W, H, QImage::Format_RGB32);
    if (pWidget->width() != W || pWidget->height() != H)
        state.SkipWithError("the view's window is not W x H");
    pWidget->render(&target);  // the first paint after the load converts
    const std::uint64_t nConversions = AfxPaintCacheConversions(h.pView);
    for (auto _ : state)
    {
        pWidget->render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
    if (AfxPaintCacheConversions(h.pView) != nConversions)
        state.SkipWithError("an unchanged paint converted again");
    if (target != h.Indexed().convertToFormat(QImage::Format_RGB32))
        state.SkipWithError("the paint did not show the surface");
}
BENCHMARK(BM_ViewPaintUnchanged)->Unit(benchmark::kMicrosecond)->Apply(SmokeOnce);

void BM_QtPaintReadyRgb32(benchmark::State& state)
{
    CImageWidget widget;
    widget.resize(W, H);
    widget.m_image = TheView().Indexed().convertToFormat(QImage::Format_RGB32);
    QImage target(W, H, QImage::Format_RGB32);
    for (auto _ : state)
    {
        widget.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_QtPaintReadyRgb32)->Unit(benchmark::kMicrosecond)->Apply(SmokeOnce);

// The drawing alone, without a widget around it.
void BM_QtDrawImageRgb32(benchmark::State& state)
{
    const QImage image = TheView().Indexed().convertToFormat(QImage::Format_RGB32);
    QImage target(W, H, QImage::Format_RGB32);
    for (auto _ : state)
    {
        QPainter painter(&target);
        painter.drawImage(0, 0, image);
        painter.end();
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_QtDrawImageRgb32)->Unit(benchmark::kMicrosecond)->Apply(SmokeOnce);

void BM_ViewExpansionAfterRender(benchmark::State& state)
{
    const DibView dib = TheView().Dib();
    QImage image(W, H, QImage::Format_RGB32);
    for (auto _ : state)
    {
        AfxExpandDibToImage(dib, image);
        benchmark::DoNotOptimize(image.constBits());
    }
    if (image != TheView().Expected())
        state.SkipWithError("the expansion is not the surface's colours");
}
BENCHMARK(BM_ViewExpansionAfterRender)->Unit(benchmark::kMicrosecond)->Apply(SmokeOnce);

// Qt's conversion into an image it already has: the counterpart of the cached copy.
void BM_QtDrawIndexed8IntoBuffer(benchmark::State& state)
{
    const QImage indexed = TheView().Indexed();
    QImage image(W, H, QImage::Format_RGB32);
    for (auto _ : state)
    {
        QPainter painter(&image);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, indexed);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
    if (image != TheView().Expected())
        state.SkipWithError("Qt's drawing is not the surface's colours");
}
BENCHMARK(BM_QtDrawIndexed8IntoBuffer)->Unit(benchmark::kMicrosecond)->Apply(SmokeOnce);

// The expansion into a new image each time, as Qt's convertToFormat makes one.
void BM_ViewExpansionIntoNewImage(benchmark::State& state)
{
    const DibView dib = TheView().Dib();
    for (auto _ : state)
    {
        QImage image;
        AfxExpandDibToImage(dib, image);
        benchmark::DoNotOptimize(image.constBits());
    }
    QImage last;
    AfxExpandDibToImage(dib, last);
    if (last != TheView().Expected())
        state.SkipWithError("the expansion is not the surface's colours");
}
BENCHMARK(BM_ViewExpansionIntoNewImage)->Unit(benchmark::kMicrosecond)->Apply(SmokeOnce);

void BM_QtConvertIndexed8ToRgb32(benchmark::State& state)
{
    const QImage indexed = TheView().Indexed();
    for (auto _ : state)
    {
        QImage image = indexed.convertToFormat(QImage::Format_RGB32);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_QtConvertIndexed8ToRgb32)->Unit(benchmark::kMicrosecond)->Apply(SmokeOnce);

// For scale: what a render of the loaded picture costs (fill plus one row copy per line).
void BM_ViewRenderData(benchmark::State& state)
{
    Hosted& h = TheView();
    for (auto _ : state)
        h.pView->RenderData();
}
BENCHMARK(BM_ViewRenderData)->Unit(benchmark::kMicrosecond)->Apply(SmokeOnce);

class CRatioReporter : public CBenchReporter
{
public:
    std::map<std::string, double> m_times;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        CBenchReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred)
                m_times[r.benchmark_name()] = r.GetAdjustedRealTime();
    }
    void Ratio(const char* pszLabel, const char* pszMine, const char* pszReference, double dGoal) const
    {
        const auto a = m_times.find(pszMine);
        const auto b = m_times.find(pszReference);
        if (a == m_times.end() || b == m_times.end() || b->second <= 0)
            return;
        const double dRatio = a->second / b->second;
        std::printf("%-44s %6.2fx  (goal <= %.1fx: %s)\n", pszLabel, dRatio, dGoal, dRatio <= dGoal ? "met" : "missed");
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
    std::printf("\nRatios against the same run (wall time per iteration):\n");
    PrintSmokeNote();
    reporter.Ratio("view paint, unchanged / Qt paints RGB32", "BM_ViewPaintUnchanged", "BM_QtPaintReadyRgb32", 2.0);
    reporter.Ratio("view paint, unchanged / QPainter::drawImage", "BM_ViewPaintUnchanged", "BM_QtDrawImageRgb32", 2.0);
    reporter.Ratio("expansion after render / Qt draws into buffer", "BM_ViewExpansionAfterRender",
                   "BM_QtDrawIndexed8IntoBuffer", 1.5);
    reporter.Ratio("expansion into new image / Qt convertToFormat", "BM_ViewExpansionIntoNewImage",
                   "BM_QtConvertIndexed8ToRgb32", 1.5);
    benchmark::Shutdown();
    return reporter.ExitStatus();
}
