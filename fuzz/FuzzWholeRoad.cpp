// The whole road, as the converter (and so the program) runs it: open the bytes from a
// real file through the framework and the load driver, lay them out at a few view
// sizes, save as each of the three formats, and open every saved file again. A refused
// open changes neither the data kind nor the records, colours or pixels; a saved file
// opens, and saving it again in its own format gives the same bytes.

#include "document/VellumDoc.h"
#include "document/VellumView.h"
#include "fuzz/FuzzRecords.h"
#include "tools/vellumconv/ConvApp.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace
{
namespace fs = std::filesystem;

struct Road
{
    CConvApp* pApp = nullptr;
    CVellumDoc* pDoc = nullptr;
    CVellumView* pView = nullptr;
    fs::path dir;
};

Road& TheRoad()
{
    static Road s_road = [] {
        Road r;
        static std::FILE* s_pNull = std::fopen("/dev/null", "w");
        r.pApp = new CConvApp(s_pNull, s_pNull);  // lives as long as the process
        static int s_nArgc = 1;
        static char s_name[] = "fuzz_whole_road";
        static char* s_argv[] = {s_name, nullptr};
        FUZZ_CHECK(AfxWinInit(s_nArgc, s_argv) && r.pApp->InitInstance());
        r.pDoc = r.pApp->GetVellumDoc();
        r.pView = r.pApp->GetVellumView();
        std::string tmpl = (fs::temp_directory_path() / "vellum-road-XXXXXX").string();
        FUZZ_CHECK(::mkdtemp(tmpl.data()) != nullptr);
        r.dir = tmpl;
        return r;
    }();
    return s_road;
}

Bytes FileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Everything a refused open must leave alone.
Bytes State(const Road& r)
{
    Bytes s = Snapshot(r.pView->m_bmpData);
    for (const Bytes& part : {Snapshot(r.pView->m_timData), Snapshot(r.pView->m_bfntData)})
        s.insert(s.end(), part.begin(), part.end());
    Bytes colours(768);
    r.pView->m_surface.GetColors(colours.data(), 0, 256);
    s.insert(s.end(), colours.begin(), colours.end());
    const SurfaceBits& b = r.pView->m_surface.m_bits;
    if (b.bits != nullptr)
        s.insert(s.end(), b.bits, b.bits + std::size_t(b.width) * std::size_t(b.height));
    s.push_back(static_cast<std::uint8_t>(r.pDoc->m_nDataType));
    return s;
}

bool Step(Road& r, EConvStep kind, const fs::path& path, int w = 0, int h = 0)
{
    return r.pApp->RunStep(ConvStep{kind, path.string(), w, h});
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    Road& r = TheRoad();
    const fs::path in = r.dir / "in";
    {
        std::ofstream out(in, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(pData), static_cast<std::streamsize>(nSize));
    }
    Step(r, EConvStep::Size, {}, 256, 256);
    const Bytes before = State(r);
    if (!Step(r, EConvStep::Open, in))
    {
        FUZZ_CHECK(State(r) == before);
        return 0;
    }
    FUZZ_CHECK(r.pDoc->m_nDataType != DATA_NONE);
    // Odd, tiny and tall views; the layout must stay inside the surface.
    Step(r, EConvStep::Size, {}, 1, 1);
    Step(r, EConvStep::Size, {}, 37, 600);
    Step(r, EConvStep::Size, {}, 256, 256);

    for (const char* pszName : {"out.bmp", "out.tim", "out.fnt"})
    {
        const fs::path saved = r.dir / pszName, again = r.dir / (std::string("again-") + pszName);
        fs::remove(saved);
        if (!Step(r, EConvStep::Save, saved))
        {
            FUZZ_CHECK(!fs::exists(saved));  // a refused save leaves no file
            continue;
        }
        FUZZ_CHECK(Step(r, EConvStep::Open, saved));
        FUZZ_CHECK(Step(r, EConvStep::Save, again));
        FUZZ_CHECK(FileBytes(saved) == FileBytes(again));
    }
    return 0;
}
