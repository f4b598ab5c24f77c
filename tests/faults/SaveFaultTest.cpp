// A window's save (the document's, on the headless backend) with every I/O call it makes
// failing in turn, with every error: the target ends as its old bytes or its new ones,
// whole; the user reads the one message that failure gives; no temporary is left; and the
// next save succeeds.

#include "tests/document/DocHarness.h"
#include "tests/faults/FaultRuns.h"
#include "tests/formats/SampleFiles.h"

#include <cstring>
#include <optional>
#include <sys/xattr.h>
#include <unistd.h>

namespace
{
namespace fs = std::filesystem;

enum class ETarget
{
    New,       // no file yet
    Existing,  // a file with a mode and an attribute of its own: replaced
    Linked,    // a file with a second name: written in place
};

class SaveFaults : public DocTest, public ::testing::WithParamInterface<ETarget>
{
protected:
    // The target as it was before each save, with a dead run's temporary beside it.
    std::optional<Bytes> Prepare(const fs::path& target)
    {
        fs::remove(target);
        fs::remove(target.string() + "-2");
        WriteBytes(Path(kDeadTemporary), {'d'});
        if (GetParam() == ETarget::New)
            return std::nullopt;
        const Bytes old = MakeSampleBmp(5, 3);
        WriteBytes(target, old);
        fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        ::setxattr(target.c_str(), "user.origin", "scanner", 7, 0);
        if (GetParam() == ETarget::Linked)
            fs::create_hard_link(target, target.string() + "-2");
        return old;
    }
};

TEST_P(SaveFaults, EveryCallFailsInTurn)
{
    // Large enough that its pixels take several writes.
    ASSERT_TRUE(Open(Put("picture.bmp", MakeSampleBmp(256, 250))));
    TakeMessages();
    const fs::path target = Path("target.tim");
    const std::string message = "Cannot save \"" + target.string() + "\": ";

    Prepare(target);
    ResetFaultCalls();
    ASSERT_TRUE(SaveAs(target));
    const std::vector<long> calls = CountedCalls();
    const Bytes expected = ReadBytes(target);
    ASSERT_TRUE(TakeMessages().empty());

    FaultTally tally;
    ForEachFault(calls, tally.nCalls, [&](EFault family, long n, int nError) {
        const std::optional<Bytes> old = Prepare(target);
        SetFault(family, n, nError);
        const bool bSaved = SaveAs(target);
        const bool bFired = FaultFired();
        SetFault(family, 0, 0);
        const std::vector<std::string> messages = TakeMessages();
        EXPECT_TRUE(bFired);
        if (!bFired)
            return false;
        ++tally.nInjected;
        if (MustBeRetried(nError))
        {
            ++tally.nRetried;
            EXPECT_TRUE(bSaved);
        }
        if (bSaved)
        {
            EXPECT_EQ(ReadBytes(target), expected);
            EXPECT_TRUE(messages.empty());
        }
        else
        {
            ++tally.nFailed;
            if (old)
                EXPECT_EQ(ReadBytes(target), *old);
            else
                EXPECT_FALSE(fs::exists(target));
            EXPECT_EQ(messages, std::vector<std::string>{message + std::strerror(nError) + "."});
        }
        if (GetParam() == ETarget::Linked && fs::exists(target))
        {
            EXPECT_EQ(ReadBytes(target.string() + "-2"), ReadBytes(target));
        }
        // Nothing of this save stays, unless its own removal was what failed.
        std::set<std::string> hidden = HiddenIn(m_dir.string());
        hidden.erase(kDeadTemporary);
        if (family != EFault::Unlink)
        {
            EXPECT_TRUE(hidden.empty()) << *hidden.begin();
        }
        // The next save goes through and sweeps what a dead run or a failed removal left.
        if (!bSaved || !HiddenIn(m_dir.string()).empty())
        {
            EXPECT_TRUE(SaveAs(target));
            EXPECT_EQ(ReadBytes(target), expected);
            EXPECT_TRUE(HiddenIn(m_dir.string()).empty());
            EXPECT_TRUE(TakeMessages().empty());
        }
        return !HasFailure();
    });
    const char* kNames[] = {"window save, new target", "window save, existing target",
                            "window save, target with two names"};
    tally.Print(kNames[static_cast<int>(GetParam())]);
}

std::string TargetName(const ::testing::TestParamInfo<ETarget>& info)
{
    const char* kTargets[] = {"New", "Existing", "Linked"};
    return kTargets[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Targets, SaveFaults, ::testing::Values(ETarget::New, ETarget::Existing, ETarget::Linked),
                         TargetName);

}  // namespace
