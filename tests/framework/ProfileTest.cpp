// The profile the recent-file list lives in between runs, named by the program.
// (That the list survives a restart is in AppTest.cpp.)
#include "tests/framework/AppFixture.h"

namespace
{

// The program's resources under another profile name, while it lives.
class CProfileName
{
public:
    explicit CProfileName(const char* pszName) : m_resources(*VellumResources())
    {
        m_resources.pszProfileName = pszName;
        AfxRegisterResources(&m_resources);
    }
    ~CProfileName() { AfxRegisterResources(VellumResources()); }
    CProfileName(const CProfileName&) = delete;
    CProfileName& operator=(const CProfileName&) = delete;

private:
    AFX_RESOURCES m_resources;
};

TEST_F(AppTest, TheProfileIsNamedByTheProgram)
{
    // Put together piece by piece: gcc 12 misreads the one-line sum.
    auto under = [this](const char* pszTail) {
        std::string s = m_dir;
        s += pszTail;
        return s;
    };
    Start();
    EXPECT_STREQ(m_app->GetProfilePath(), under("/config/vellum/vellum.conf").c_str());

    CProfileName other("sketch");
    EXPECT_STREQ(m_app->GetProfilePath(), under("/config/sketch/sketch.conf").c_str());
    // A relative XDG_CONFIG_HOME is ignored, as the XDG base directory rules ask.
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    ::setenv("HOME", m_dir.c_str(), 1);
    EXPECT_STREQ(m_app->GetProfilePath(), under("/.config/sketch/sketch.conf").c_str());
}

TEST_F(AppTest, WithoutAProfileNameTheListLastsOnlyAsLongAsTheApplication)
{
    CProfileName none(nullptr);
    Start();
    EXPECT_TRUE(m_app->GetProfilePath().IsEmpty());
    ASSERT_NE(m_app->OpenDocumentFile(File("a.bmp", "data").c_str()), nullptr);
    EXPECT_EQ(m_app->GetRecentFileCount(), 1);
    m_app.reset();

    Start();
    EXPECT_EQ(m_app->GetRecentFileCount(), 0);
}

}  // namespace
