#include "tests/document/DocHarness.h"

#include <cstdlib>

IMPLEMENT_DYNCREATE(CTestFrame, CFrameWnd)

CTestApp& TestApp()
{
    static CTestApp s_app;
    return s_app;
}


std::uint8_t ShownPixel(const CVellumView& view, int x, int y)
{
    const SurfaceBits& b = view.m_surface.m_bits;
    const int nRow = b.orientation >= 0 ? b.height - 1 - y : y;
    return b.bits[static_cast<std::size_t>(nRow) * static_cast<std::size_t>(b.width) + static_cast<std::size_t>(x)];
}

Bytes ShownPixels(const CVellumView& view)
{
    const SurfaceBits& b = view.m_surface.m_bits;
    Bytes out;
    out.reserve(static_cast<std::size_t>(b.width) * static_cast<std::size_t>(b.height));
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x)
            out.push_back(ShownPixel(view, x, y));
    return out;
}

Bytes SurfaceColors(const CVellumView& view)
{
    Bytes rgb(768);
    view.m_surface.GetColors(rgb.data(), 0, 256);
    return rgb;
}

void DocTest::SetUp()
{
    std::string strTemplate = (std::filesystem::temp_directory_path() / "vellum-doc-XXXXXX").string();
    ASSERT_NE(::mkdtemp(strTemplate.data()), nullptr);
    m_dir = strTemplate;

    TestApp().m_messages.clear();
    m_pTemplate = new CSingleDocTemplate(IDR_MAINFRAME, RUNTIME_CLASS(CVellumDoc), RUNTIME_CLASS(CTestFrame),
                                         RUNTIME_CLASS(CVellumView));
    CDocument* pDoc = m_pTemplate->OpenDocumentFile(nullptr, FALSE);
    ASSERT_NE(pDoc, nullptr);
    m_pDoc = dynamic_cast<CVellumDoc*>(pDoc);
    ASSERT_NE(m_pDoc, nullptr);
    POSITION pos = m_pDoc->GetFirstViewPosition();
    m_pView = dynamic_cast<CVellumView*>(m_pDoc->GetNextView(pos));
    ASSERT_NE(m_pView, nullptr);
    m_pFrame = dynamic_cast<CTestFrame*>(m_pTemplate->GetFrame());
    ASSERT_NE(m_pFrame, nullptr);
    TestApp().m_pMainWnd = m_pFrame;
    Resize(256, 256);
}

void DocTest::TearDown()
{
    TestApp().m_pMainWnd = nullptr;
    delete m_pTemplate;
    m_pTemplate = nullptr;
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
}

std::filesystem::path DocTest::Put(const std::string& strName, const Bytes& data)
{
    const std::filesystem::path path = Path(strName);
    WriteBytes(path, data);
    return path;
}

bool DocTest::Open(const std::filesystem::path& path)
{
    return m_pTemplate->OpenDocumentFile(path.c_str(), FALSE) != nullptr;
}

bool DocTest::SaveAs(const std::filesystem::path& path)
{
    return m_pDoc->DoSave(path.c_str(), TRUE) != FALSE;
}

void DocTest::Resize(int cx, int cy)
{
    m_pView->SendMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(static_cast<unsigned>(cx), static_cast<unsigned>(cy)));
}

std::vector<std::string> DocTest::TakeMessages()
{
    std::vector<std::string> out;
    out.swap(TestApp().m_messages);
    return out;
}
