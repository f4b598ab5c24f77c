// The regression corpus through the whole program: each file opened from disk by the
// framework and the load driver while a picture of each kind is current. A refused file
// shows its one message and leaves the data kind, the records, the surface's colours and
// pixels and the status text as they were; an accepted one can be laid out at any view
// size and saved in every format, or the save is refused cleanly with no file left.

#include "tests/corpus/HostileFiles.h"
#include "tests/corpus/RecordSnapshot.h"
#include "tests/document/DocHarness.h"
#include "tests/formats/SampleFiles.h"

#include <filesystem>

namespace
{
struct Earlier
{
    const char* pszName;
    Bytes file;
    int nKind;
};

class DriverCorpus : public DocTest
{
protected:
    Bytes State() const
    {
        Bytes s = Snapshot(m_pView->m_bmpData);
        for (const Bytes& part : {Snapshot(m_pView->m_timData), Snapshot(m_pView->m_bfntData), SurfaceColors(*m_pView),
                                  ShownPixels(*m_pView)})
            s.insert(s.end(), part.begin(), part.end());
        s.push_back(static_cast<std::uint8_t>(m_pDoc->m_nDataType));
        s.insert(s.end(), m_pFrame->m_strStatus.begin(), m_pFrame->m_strStatus.end());
        return s;
    }
};

TEST_F(DriverCorpus, EveryHostileFileGivesItsMessageAndChangesNothing)
{
    const Earlier earlier[] = {
        {"earlier.bmp", MakeSampleBmp(40, 30), DATA_BMP},
        {"earlier.tim", MakeSampleTim(20, 30), DATA_TIM},
        {"earlier.fnt", MakeSampleBfnt(8, 16, 32, 127), DATA_BFNT},
    };
    const std::vector<corpus::HostileCase> cases = corpus::HostileCases();
    for (const Earlier& e : earlier)
    {
        SCOPED_TRACE(e.pszName);
        ASSERT_TRUE(Open(Put(e.pszName, e.file)));
        ASSERT_EQ(m_pDoc->m_nDataType, e.nKind);
        TakeMessages();
        for (const corpus::HostileCase& c : cases)
        {
            if (c.nMessage == 0)
                continue;
            SCOPED_TRACE(c.name);
            const Bytes before = State();
            EXPECT_FALSE(Open(Put(c.name, c.bytes)));
            EXPECT_EQ(TakeMessages(), std::vector<std::string>{Msg(static_cast<unsigned>(c.nMessage))});
            ASSERT_TRUE(State() == before) << "a refused file changed what the program holds or shows";
        }
        // And the program goes on: the earlier file still opens and saves.
        ASSERT_TRUE(Open(Path(e.pszName)));
        EXPECT_TRUE(SaveAs(Path("after.bmp")));
        EXPECT_TRUE(TakeMessages().empty());
    }
}

TEST_F(DriverCorpus, AcceptedOddFilesLayOutAndSaveOrRefuseCleanly)
{
    const std::vector<corpus::HostileCase> cases = corpus::HostileCases();
    for (const corpus::HostileCase& c : cases)
    {
        if (c.nMessage != 0)
            continue;
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Open(Put(c.name, c.bytes)));
        EXPECT_TRUE(TakeMessages().empty());
        for (const auto& size : {std::pair{1, 1}, std::pair{3, 500}, std::pair{700, 2}, std::pair{256, 256}})
            Resize(size.first, size.second);
        const Bytes loaded = ReadBytes(Path(c.name));
        for (const char* pszTarget : {"saved.bmp", "saved.tim", "saved.fnt"})
        {
            SCOPED_TRACE(pszTarget);
            std::filesystem::remove(Path(pszTarget));
            if (SaveAs(Path(pszTarget)))
            {
                EXPECT_TRUE(TakeMessages().empty());
                ASSERT_TRUE(Open(Path(pszTarget)));
            }
            else
            {
                EXPECT_EQ(TakeMessages().size(), 1u);
                EXPECT_FALSE(std::filesystem::exists(Path(pszTarget)));
            }
        }
        EXPECT_EQ(ReadBytes(Path(c.name)), loaded);
    }
}
}  // namespace
