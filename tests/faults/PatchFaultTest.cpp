// A patch in place with every I/O call it makes failing in turn, with every error: the file
// ends with every range old or every range new, never a mix; a failure is reported, naming
// the file; nothing is left beside it that the next sweep would not put right; and a dead
// patch's journal that the next patch finds is put back first, or stops it.

#include "framework/Afx.h"
#include "framework/SafeSaveIo.h"
#include "tests/faults/FaultRuns.h"
#include "tests/framework/ScratchFiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{
enum class EBefore
{
    Whole,     // the file as a finished save left it
    DeadPatch  // torn by a patch that was killed, its journal beside it
};

constexpr std::uint64_t kRanges[][2] = {{10, 300}, {70000, 5000}, {199990, 10}};

std::string Old()
{
    std::string s(200000, '\0');
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<char>('a' + i % 23);
    return s;
}

std::string New()
{
    std::string s = Old();
    for (const auto& r : kRanges)
        s.replace(r[0], r[1], std::string(r[1], 'N'));
    return s;
}

class PatchFaults : public ::testing::TestWithParam<EBefore>
{
protected:
    // The file before each patch: two names, and for a dead patch its journal of the first
    // two ranges, which it had written when it died.
    void Prepare()
    {
        ::unlink(m_target.c_str());
        ::unlink(m_other.c_str());
        for (const std::string& name : HiddenIn(m_dir.Path()))
            ::unlink((m_dir / name).c_str());
        const std::string old = Old();
        WriteFile(m_target, old);
        ASSERT_EQ(::link(m_target.c_str(), m_other.c_str()), 0);
        if (GetParam() != EBefore::DeadPatch)
            return;
        struct stat st;
        ASSERT_EQ(::stat(m_target.c_str(), &st), 0);
        std::string records;
        for (const auto& r : kRanges)
        {
            std::uint64_t record[2] = {r[0], r[1]};
            records.append(reinterpret_cast<const char*>(record), sizeof record);
            records += old.substr(r[0], r[1]);
        }
        std::string header(512, '\0');
        const std::uint64_t fields[] = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                                        records.size(), old.size()};
        std::memcpy(&header[0], "AFXJRNL2", 8);
        std::memcpy(&header[8], fields, sizeof fields);
        const std::uint32_t nName = 8;
        std::memcpy(&header[40], &nName, 4);
        std::memcpy(&header[44], "disc.bin", nName);
        std::string journal = ".disc.bin.afxsave-journal-XXXXXXXXXX";
        afx_save::FillTemporaryName(journal);
        WriteFile(m_dir / journal, header + records);
        std::string torn = old;
        torn.replace(kRanges[0][0], kRanges[0][1], std::string(kRanges[0][1], 'x'));
        torn.replace(kRanges[1][0], 100, std::string(100, 'x'));
        std::fstream(m_target, std::ios::in | std::ios::out | std::ios::binary) << torn;
    }
    // The patch, as a program makes it: false, with the message, when it fails.
    bool Patch(std::string& strMessage)
    {
        CSafePatchFile patch;
        CFileException e;
        if (!patch.Open(m_target.c_str(), &e))
        {
            strMessage = e.GetErrorMessage().Str();
            return false;
        }
        try
        {
            for (const auto& r : kRanges)
                patch.Write(r[0], std::string(r[1], 'N').data(), r[1]);
            patch.Commit();
            return true;
        }
        catch (const CFileException& fe)
        {
            strMessage = fe.GetErrorMessage().Str();
            return false;
        }
    }

    ScratchDir m_dir;
    std::string m_target = m_dir / "disc.bin";
    std::string m_other = m_dir / "other.bin";
};

TEST_P(PatchFaults, EveryCallFailsInTurn)
{
    const std::string old = Old(), expected = New();
    std::string strMessage;
    Prepare();
    ResetFaultCalls();
    ASSERT_TRUE(Patch(strMessage)) << strMessage;
    const std::vector<long> calls = CountedCalls();
    ASSERT_TRUE(ReadFile(m_target) == expected);

    FaultTally tally;
    ForEachFault(calls, tally.nCalls, [&](EFault family, long n, int nError) {
        Prepare();
        strMessage.clear();
        SetFault(family, n, nError);
        const bool bPatched = Patch(strMessage);
        const bool bFired = FaultFired();
        SetFault(family, 0, 0);
        EXPECT_TRUE(bFired);
        if (!bFired)
            return false;
        ++tally.nInjected;
        if (MustBeRetried(nError))
        {
            ++tally.nRetried;
            EXPECT_TRUE(bPatched) << strMessage;
        }
        const std::string now = ReadFile(m_target);
        EXPECT_TRUE(ReadFile(m_other) == now);
        if (bPatched)
        {
            EXPECT_TRUE(now == expected);
        }
        else
        {
            ++tally.nFailed;
            EXPECT_EQ(strMessage.rfind(m_target + ": ", 0), 0u) << strMessage;
        }
        // A failure before the dead patch's journal was put back leaves it, and the file
        // torn; any other leaves the old bytes. The next sweep puts the rest right, and
        // leaves nothing.
        if (!bPatched && HiddenIn(m_dir.Path()).empty())
        {
            EXPECT_TRUE(now == old);
        }
        CSafeSaveFile::RemoveDeadTemporaries({m_target});
        const std::string after = ReadFile(m_target);
        EXPECT_TRUE(after == (bPatched ? expected : old));
        EXPECT_TRUE(HiddenIn(m_dir.Path()).empty()) << *HiddenIn(m_dir.Path()).begin();
        return !HasFailure();
    });
    tally.Print(GetParam() == EBefore::Whole ? "patch of 3 ranges" : "patch of 3 ranges after a dead patch");
}

std::string BeforeName(const ::testing::TestParamInfo<EBefore>& info)
{
    return info.param == EBefore::Whole ? "Whole" : "DeadPatch";
}

INSTANTIATE_TEST_SUITE_P(Before, PatchFaults, ::testing::Values(EBefore::Whole, EBefore::DeadPatch), BeforeName);

}  // namespace
