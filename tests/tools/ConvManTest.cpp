// The manual page keeps to the program: every option `vellumconv --help` and the verbs'
// own help list is in vellumconv(1), and every option the page sets in bold is one of them.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>

namespace
{

std::string HelpText(const std::string& strArgs)
{
    std::string strText;
    std::FILE* pipe = ::popen((VELLUMCONV_PATH " " + strArgs).c_str(), "r");
    if (pipe == nullptr)
        return strText;
    char buf[4096];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
        strText.append(buf, n);
    EXPECT_EQ(::pclose(pipe), 0);
    return strText;
}

std::set<std::string> Matches(const std::string& strText, const std::regex& pattern)
{
    std::set<std::string> found;
    for (auto it = std::sregex_iterator(strText.begin(), strText.end(), pattern); it != std::sregex_iterator(); ++it)
        found.insert((*it)[1].str());
    return found;
}

}  // namespace

TEST(ConvManPage, ListsEveryOptionOfTheHelpAndNoOther)
{
    const std::string strHelp = HelpText("--help") + HelpText("scan --help") + HelpText("palette --help") +
                                HelpText("replace --help") + HelpText("thumbnail --help");
    // Options as --help writes them: "-j", "--out-dir", each standing alone ("-print0" in a
    // find command line is not one).
    const std::set<std::string> help =
        Matches(strHelp, std::regex(R"((?:^|[\s\[|,])(-[a-z0-9]|--[a-z][a-z-]*[a-z])(?=$|[\s\]|,]))"));
    std::ifstream in(VELLUMCONV_MAN_PAGE);
    ASSERT_TRUE(in) << VELLUMCONV_MAN_PAGE;
    const std::string strPage((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Options as the page sets them, in bold.
    const std::set<std::string> page = Matches(strPage, std::regex(R"(\\fB(--?[A-Za-z0-9][A-Za-z0-9-]*))"));

    EXPECT_GE(help.size(), 20u);
    for (const std::string& strOption : help)
        EXPECT_TRUE(page.count(strOption) != 0) << strOption << " is in --help but not in vellumconv(1)";
    for (const std::string& strOption : page)
        EXPECT_TRUE(help.count(strOption) != 0) << strOption << " is in vellumconv(1) but not in --help";
}

// Each form and verb has its synopsis line, and every exit status its entry.
TEST(ConvManPage, NamesEveryFormAndExitStatus)
{
    std::ifstream in(VELLUMCONV_MAN_PAGE);
    const std::string strPage((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const char* pszForm : {R"(\fBvellumconv\fR \fIIN\fR \fIOUT\fR)", R"(\fBvellumconv\fR \fISTEP\fR)",
                                R"(\fBvellumconv\fR \fB--to\fR \fIEXT\fR)", R"(\fBvellumconv export\fR)",
                                R"(\fBvellumconv import\fR)", R"(\fBvellumconv scan\fR)",
                                R"(\fBvellumconv palette export\fR)", R"(\fBvellumconv palette import\fR)",
                                R"(\fBvellumconv replace\fR)", R"(\fBvellumconv thumbnail\fR)"})
        EXPECT_NE(strPage.find(pszForm), std::string::npos) << pszForm;
    const std::size_t nStatus = strPage.find(".SH EXIT STATUS");
    ASSERT_NE(nStatus, std::string::npos);
    for (const char* pszStatus : {"\\fB0\\fR", "\\fB1\\fR", "\\fB2\\fR", "\\fB130\\fR"})
        EXPECT_NE(strPage.find(pszStatus, nStatus), std::string::npos) << pszStatus;
}

// The default depth of an import to TIM as the program picks it: 4 bits for an indexed PNG of
// at most 16 colours used and a width that 4-bit units hold, 8 for other indexed PNGs.
TEST(ConvManPage, GiveTheDefaultDepthOfAnImportAsTheProgramPicksIt)
{
    std::ifstream in(VELLUMCONV_MAN_PAGE);
    const std::string strPage((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto oneLine = [](const std::string& strText) { return std::regex_replace(strText, std::regex(R"(\s+)"), " "); };
    const std::string strRule = "else 4 for an indexed PNG whose pixels use at most 16 colours and whose width is a "
                                "multiple of 4, 8 for any other indexed PNG and 16 for others";
    EXPECT_NE(oneLine(HelpText("--help")).find(strRule), std::string::npos);
    EXPECT_NE(oneLine(strPage).find(strRule), std::string::npos);
}
