// Strings, runtime classes and message maps: the parts of the layer that need no window.
#include "framework/Afx.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
struct RightCase
{
    const char* input;
    int n;
    const char* expected;
};

class StringRight : public ::testing::TestWithParam<RightCase>
{
};

TEST_P(StringRight, TakesTheLastCharactersOrTheWholeString)
{
    const RightCase& c = GetParam();
    EXPECT_STREQ(CString(c.input).Right(c.n), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, StringRight,
                         ::testing::Values(RightCase{"picture.BMP", 4, ".BMP"}, RightCase{"a.b", 4, "a.b"},
                                           RightCase{"", 4, ""}, RightCase{"abcd", 4, "abcd"},
                                           RightCase{"abc", 0, ""}, RightCase{"abc", -1, ""}));

TEST(String, MakeLowerChangesAsciiLettersOnlyInPlace)
{
    CString s("Ｆｏｎｔ.TiM");  // full-width letters are not ASCII and stay as they are
    CString& r = s.MakeLower();
    EXPECT_EQ(&r, &s);
    EXPECT_STREQ(s, "Ｆｏｎｔ.tim");
    CString t(".BMP");
    t.MakeLower();
    EXPECT_TRUE(t == ".bmp");
}

TEST(String, ComparisonIsExactAndAppendingWorks)
{
    CString s("size:");
    EXPECT_FALSE(s == "Size:");
    EXPECT_FALSE(s == "size: ");
    EXPECT_TRUE(s == CString("size:"));
    s += "320";
    s += 'x';
    s += CString("240");
    EXPECT_STREQ(s, "size:320x240");
    EXPECT_EQ(s.GetLength(), 12);
    EXPECT_STREQ(CString("a") + "b" + CString("c"), "abc");
    EXPECT_TRUE(CString().IsEmpty());
    EXPECT_TRUE(CString(nullptr).IsEmpty());
}

TEST(String, FormatsDecimalNumbersLikePrintf)
{
    CString s;
    s.Format("size:%dx%d  no:%u-%u", -5, 240, 32u, 127u);
    EXPECT_STREQ(s, "size:-5x240  no:32-127");
    // Longer than any small internal buffer.
    s.Format("%0300d", 7);
    EXPECT_EQ(s.GetLength(), 300);
    EXPECT_EQ(s.Right(1), CString("7"));
}

TEST(String, LoadsFromTheStringTableAndKeepsItselfWhenAbsent)
{
    CString s("keep");
    EXPECT_FALSE(s.LoadString(0x7FFF));
    EXPECT_STREQ(s, "keep");
    EXPECT_TRUE(s.LoadString(AFX_IDS_APP_TITLE));
    EXPECT_STREQ(s, "vellum");
}

TEST(String, FindMidLeft)
{
    const CString s("prompt\ntip");
    EXPECT_EQ(s.Find('\n'), 6);
    EXPECT_EQ(s.Find('z'), -1);
    EXPECT_STREQ(s.Left(6), "prompt");
    EXPECT_STREQ(s.Mid(7), "tip");
    EXPECT_STREQ(s.Mid(70), "");
    EXPECT_EQ(s.ReverseFind('t'), 7);
}

// --- runtime classes ---------------------------------------------------------------------

class CShape : public CObject
{
    DECLARE_DYNAMIC(CShape)
};
IMPLEMENT_DYNAMIC(CShape, CObject)

class CSquare : public CShape
{
    DECLARE_DYNCREATE(CSquare)
public:
    int m_nSide = 4;
};
IMPLEMENT_DYNCREATE(CSquare, CShape)

TEST(RuntimeClass, CreatesObjectsByName)
{
    CRuntimeClass* pClass = CRuntimeClass::FromName("CSquare");
    ASSERT_EQ(pClass, RUNTIME_CLASS(CSquare));
    std::unique_ptr<CObject> p(pClass->CreateObject());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->GetRuntimeClass(), RUNTIME_CLASS(CSquare));
    EXPECT_TRUE(p->IsKindOf(RUNTIME_CLASS(CShape)));
    EXPECT_TRUE(p->IsKindOf(RUNTIME_CLASS(CObject)));
    EXPECT_FALSE(p->IsKindOf(RUNTIME_CLASS(CCmdTarget)));
    EXPECT_EQ(static_cast<CSquare*>(p.get())->m_nSide, 4);
}

TEST(RuntimeClass, UnknownNamesAndAbstractClassesCreateNothing)
{
    EXPECT_EQ(CRuntimeClass::FromName("CNoSuchClass"), nullptr);
    EXPECT_EQ(CRuntimeClass::FromName(nullptr), nullptr);
    EXPECT_EQ(CRuntimeClass::CreateObject("CShape"), nullptr);
    EXPECT_NE(CRuntimeClass::FromName("CFrameWnd"), nullptr);  // the framework's own
}

// --- message maps --------------------------------------------------------------------------

std::vector<const char*> g_calls;

class CBaseTarget : public CCmdTarget
{
public:
    void OnOne() { g_calls.push_back("base one"); }
    void OnTwo() { g_calls.push_back("base two"); }
    BOOL OnFive(UINT) { g_calls.push_back("base five"); return TRUE; }
    void OnUpdateOne(CCmdUI* p) { p->SetCheck(1); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CBaseTarget, CCmdTarget)
    ON_COMMAND(1, OnOne)
    ON_COMMAND(2, OnTwo)
    ON_COMMAND_EX(5, OnFive)
    ON_UPDATE_COMMAND_UI(1, OnUpdateOne)
END_MESSAGE_MAP()

class CDerivedTarget : public CBaseTarget
{
public:
    void OnTwoDerived() { g_calls.push_back("derived two"); }
    void OnRange(UINT nID) { g_calls.push_back(nID == 10 ? "range 10" : "range other"); }
    BOOL OnFiveDeclined(UINT) { g_calls.push_back("derived five"); return FALSE; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDerivedTarget, CBaseTarget)
    ON_COMMAND(2, OnTwoDerived)
    ON_COMMAND_RANGE(10, 13, OnRange)
    ON_COMMAND_EX(5, OnFiveDeclined)
    ON_COMMAND(1, CBaseTarget::OnOne)
END_MESSAGE_MAP()

struct RouteCase
{
    UINT nID;
    BOOL bHandled;
    std::vector<const char*> calls;
};

class MessageMapRouting : public ::testing::TestWithParam<RouteCase>
{
};

TEST_P(MessageMapRouting, FindsTheFirstHandlerUpTheChain)
{
    const RouteCase& c = GetParam();
    g_calls.clear();
    CDerivedTarget target;
    EXPECT_EQ(target.OnCmdMsg(c.nID, CN_COMMAND, nullptr), c.bHandled);
    ASSERT_EQ(g_calls.size(), c.calls.size());
    for (std::size_t i = 0; i < c.calls.size(); ++i)
        EXPECT_STREQ(g_calls[i], c.calls[i]);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MessageMapRouting,
    ::testing::Values(RouteCase{1, TRUE, {"base one"}},                  // a base member named in the derived map
                      RouteCase{2, TRUE, {"derived two"}},               // the derived map comes first
                      RouteCase{12, TRUE, {"range other"}}, RouteCase{10, TRUE, {"range 10"}},
                      RouteCase{5, TRUE, {"derived five", "base five"}},  // a declined _EX goes on
                      RouteCase{99, FALSE, {}}));                        // nobody: nothing happens

TEST(MessageMap, AsksWithoutRunning)
{
    g_calls.clear();
    CDerivedTarget target;
    int nQuery = 0;
    EXPECT_TRUE(target.OnCmdMsg(2, CN_COMMAND, &nQuery));
    EXPECT_FALSE(target.OnCmdMsg(3, CN_COMMAND, &nQuery));
    EXPECT_TRUE(g_calls.empty());
}

TEST(MessageMap, UpdateHandlersAndAutomaticDisabling)
{
    CDerivedTarget target;
    CCmdUI withHandler;
    withHandler.m_nID = 1;
    EXPECT_TRUE(withHandler.DoUpdate(&target, TRUE));
    EXPECT_EQ(withHandler.m_nCheck, 1);
    EXPECT_TRUE(withHandler.m_bEnabled);

    CCmdUI commandOnly;  // a command handler but no update handler: stays enabled
    commandOnly.m_nID = 2;
    EXPECT_FALSE(commandOnly.DoUpdate(&target, TRUE));
    EXPECT_TRUE(commandOnly.m_bEnabled);

    CCmdUI nothing;  // neither: disabled
    nothing.m_nID = 77;
    EXPECT_FALSE(nothing.DoUpdate(&target, TRUE));
    EXPECT_FALSE(nothing.m_bEnabled);
}

// --- window messages without a widget -----------------------------------------------------

class CProbeWnd : public CWnd
{
public:
    std::vector<int> m_sizes;
    int m_nCreates = 0;
    int m_nCommands = 0;
    void OnSize(UINT nType, int cx, int cy) override
    {
        CWnd::OnSize(nType, cx, cy);
        m_sizes.insert(m_sizes.end(), {static_cast<int>(nType), cx, cy});
    }
    int OnCreate(LPCREATESTRUCT lpcs) override
    {
        ++m_nCreates;
        return lpcs != nullptr && lpcs->cx == 13 ? -1 : 0;
    }
    BOOL OnEraseBkgnd(CDC*) override { return 7; }
    void OnCommandSeven() { ++m_nCommands; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CProbeWnd, CWnd)
    ON_WM_SIZE()
    ON_WM_CREATE()
    ON_WM_ERASEBKGND()
    ON_COMMAND(7, OnCommandSeven)
END_MESSAGE_MAP()

TEST(WindowMessages, DispatchThroughTheMap)
{
    CProbeWnd wnd;
    wnd.SendMessage(WM_SIZE, SIZE_MINIMIZED, MAKELPARAM(300, 65535));
    EXPECT_EQ(wnd.m_sizes, (std::vector<int>{SIZE_MINIMIZED, 300, 65535}));

    CREATESTRUCT cs;
    cs.cx = 13;
    EXPECT_EQ(wnd.SendMessage(WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)), -1);
    cs.cx = 1;
    EXPECT_EQ(wnd.SendMessage(WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)), 0);
    EXPECT_EQ(wnd.m_nCreates, 2);
    EXPECT_EQ(wnd.SendMessage(WM_ERASEBKGND), 7);

    EXPECT_EQ(wnd.SendMessage(WM_COMMAND, 7), 1);
    EXPECT_EQ(wnd.SendMessage(WM_COMMAND, 8), 0);  // unhandled: nothing
    EXPECT_EQ(wnd.m_nCommands, 1);
}

TEST(WindowMessages, UnmappedMessagesGetTheDefault)
{
    CWnd plain;
    EXPECT_EQ(plain.SendMessage(WM_CREATE), 0);
    EXPECT_EQ(plain.SendMessage(WM_SIZE, 0, MAKELPARAM(10, 10)), 0);
    EXPECT_EQ(plain.SendMessage(WM_ERASEBKGND), 1);
    EXPECT_FALSE(plain.PostMessage(WM_COMMAND, 1));  // no window: nothing queued
}
}  // namespace
