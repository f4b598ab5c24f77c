// The whole road, as the converter (and so the program) runs it: open the bytes from a
// real file through the framework and the load driver, lay them out at a few view
// sizes, save as each of the three formats, and open every saved file again. A refused
// open changes neither the data kind nor the records, colours or pixels; a saved file
// opens, and saving it again in its own format gives the same bytes.

#include "document/VellumDoc.h"
#include "document/VellumView.h"
#include "fuzz/FuzzLimits.h"
#include "fuzz/FuzzRecords.h"
#include "tools/vellumconv/ConvApp.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
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

// Read in one call: byte by byte, the instrumented stream code took a seventh of a run.
Bytes FileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    FUZZ_CHECK(in.good());
    Bytes bytes(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    FUZZ_CHECK(in.good() || bytes.empty());
    return bytes;
}

// Everything a refused open must leave alone.
Bytes State(const Road& r)
{
    const Bytes parts[] = {Snapshot(r.pView->m_bmpData), Snapshot(r.pView->m_timData),
                           Snapshot(r.pView->m_bfntData)};
    const SurfaceBits& b = r.pView->m_surface.m_bits;
    const std::size_t nBits = b.bits != nullptr ? std::size_t(b.width) * std::size_t(b.height) : 0;
    Bytes s;
    // Sized once, so a large picture is not copied again at every append.
    s.reserve(parts[0].size() + parts[1].size() + parts[2].size() + 768 + nBits + 1);
    for (const Bytes& part : parts)
        s.insert(s.end(), part.begin(), part.end());
    std::uint8_t colours[768];
    r.pView->m_surface.GetColors(colours, 0, 256);
    s.insert(s.end(), colours, colours + 768);
    s.insert(s.end(), b.bits, b.bits + nBits);
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
    if (fuzzlim::LargeRleBitmap(pData, nSize) || fuzzlim::LargeSheetPicture(pData, nSize))
        return 0;
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
