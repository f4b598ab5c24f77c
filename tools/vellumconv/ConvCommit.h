#pragma once
// How a converter run that writes files puts them in place and ends: one owner for the save
// batch, the targets the run sweeps, the outputs held open and committed in rounds, the status
// line of each item (printed only once the item's outputs are in place), SIGINT and SIGTERM,
// the progress line on a terminal and the exit status.
//
// An item is one unit the run reports on: a file of a batch, a find of a scan, the one output
// of a single run. Its outputs are put in place together or not at all; the items before it
// keep theirs whatever becomes of it. A run goes:
//
//     CConvCommits commits(pOut, pErr);
//     commits.CatchSignals();
//     const std::size_t nItem = commits.NewItem(strInput, strOutput);
//     CSafeSaveFile file;
//     CFileException fe;
//     if (!commits.Open(file, strOutput, &fe)) ...          // through the batch
//     file.GetFile().Write(...); file.Commit();             // handed to the batch, not renamed
//     commits.Hold(nItem, strLine);                         // or Fail(nItem) after a message
//     commits.CommitIfFull();                               // between items: a round when full
//     ...
//     commits.CommitHeld();                                 // the last round
//     return commits.Finish(bAnyFailed ? 1 : 0, strSummary);
//
// A run of one output may skip the batch (one syncfs costs more than one fsync): SaveAlone
// writes, syncs, renames and prints the line in one call.

#include "framework/AfxSafeSave.h"
#include "tools/vellumconv/ConvSignals.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// A line on standard error that tells how far a long run has come, on a terminal only. The
// caller gives its text; each show replaces the last ("\r\033[K"), and a summary line may
// take its place at the end. Anything else written to the terminal must Clear it first.
class CConvProgress
{
public:
    // bAtOnce: the line may show from the start (a count of files says something at once);
    // otherwise only from the run's second second on, so a short run shows none.
    CConvProgress(std::FILE* pErr, bool bAtOnce);

    // The run's time counts from now (until called, from the construction).
    void Begin();

    // Shows the text fnText() gives when a line is due: on a terminal, past the start delay,
    // and 100 ms or more after the last (bForce: whenever one may show at all). fnText is
    // called only then, so it may cost.
    template <class FText>
    void Update(FText fnText, bool bForce = false)
    {
        if (Due(bForce))
            Show(fnText());
    }
    // Takes the line away, if it shows, to make room for an ordinary line.
    void Clear();
    // Puts strSummary and a line end in the progress line's place, when a line ever showed;
    // once.
    void Summary(const std::string& strSummary);
    // Seconds since the run began, for rates and summaries.
    double Seconds() const;

private:
    bool Due(bool bForce);
    void Show(const std::string& strText);

    std::FILE* m_pErr;
    bool m_bTerminal;
    bool m_bAtOnce;
    bool m_bShown = false;      // the line is on the screen now
    bool m_bEverShown = false;  // the run was long enough for one
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_last{};
};

// The outputs of one run, from their temporaries to their status lines and the exit status.
class CConvCommits
{
public:
    // Status lines go to pOut; messages and the progress line to pErr (see CConvProgress for
    // bProgressAtOnce).
    CConvCommits(std::FILE* pOut, std::FILE* pErr, bool bProgressAtOnce = false);
    CConvCommits(const CConvCommits&) = delete;
    CConvCommits& operator=(const CConvCommits&) = delete;

    // Raises the soft open-file limit and holds at most what it leaves beside nReserve
    // descriptors for the rest of the run; gives that number. Until called, one.
    std::size_t LimitHolds(std::size_t nReserve);
    // Sets the hold limit itself, for tests.
    void SetHoldLimit(std::size_t nLimit) { m_nHoldLimit = nLimit > 0 ? nLimit : 1; }
    // From now to Finish, SIGINT and SIGTERM only note themselves (see CSignalCatcher): the
    // commits stop between items, and Finish gives 128 + the signal.
    void CatchSignals();
    // The signal caught, or 0.
    int Caught() const { return m_signals ? m_signals->Caught() : 0; }
    // Set once a signal was caught (never, before CatchSignals), for threads that poll it.
    const std::atomic<bool>& StopFlag() const;

    // The batch the outputs are saved into: for saves handed over from another process (Add
    // them to the item's Group) and for those opened here (group 0, see Open).
    CSaveBatch& Batch() { return m_batch; }
    CConvProgress& Progress() { return m_progress; }
    const CConvProgress& Progress() const { return m_progress; }

    // "vellumconv: PATH: MESSAGE" on pErr, both with control characters escaped, after the
    // progress line is cleared.
    void Message(const std::string& strPath, const std::string& strMessage);

    // A new item, numbered from 0 in the order of the calls; items are reported in that order.
    // strName names it in messages; a failed commit is told in the framework's words about
    // strTarget, or as "cannot put the output in place" when it has no one target.
    std::size_t NewItem(std::string strName, std::string strTarget = std::string());
    // The batch's group of item nItem's saves.
    static std::size_t Group(std::size_t nItem) { return nItem + 1; }
    // Adds a target to those Finish sweeps: for outputs saved elsewhere (by a worker).
    void AddTarget(const std::string& strTarget) { m_targets.push_back(strTarget); }
    // Opens a save of strTarget in the batch, its target swept at the end: its Commit leaves
    // it in group 0 until the item it belongs to is Held or Failed. FALSE, as
    // CSafeSaveFile::Open, with *pError filled.
    BOOL Open(CSafeSaveFile& file, const std::string& strTarget, CFileException* pError);
    // Item nItem is written: its saves in group 0 and those in its Group wait for the commit,
    // and strLine (with its line end) goes to pOut once they are in place.
    void Hold(std::size_t nItem, std::string strLine);
    // Item nItem failed, and the caller told why: its saves in group 0 and its Group are
    // removed, and it gets no line.
    void Fail(std::size_t nItem);

    // How many descriptors the batch holds, and whether that is the limit.
    std::size_t Held() const { return m_batch.Held(); }
    bool Full() const { return m_batch.Held() >= m_nHoldLimit; }
    // Commits a round when Full; false when a signal stopped it.
    bool CommitIfFull() { return !Full() || CommitHeld(); }
    // Puts every item held so far in place, in item order, after one sync per file system,
    // printing each line once its item is (and every item before it is done; see LinesAtEnd).
    // When the sync fails every item of the round fails with "cannot write the outputs to
    // disk: CAUSE.", told under SetSyncName's name once or else under each item's name.
    // False when a signal stopped it between two items.
    bool CommitHeld();
    // The lines wait for Finish, all in item order: a standard output nobody reads then
    // cannot hold the commits up, and a signal while the lines are written finds every
    // output in place already (a batch, whose files finish in any order).
    void LinesAtEnd() { m_bLinesAtEnd = true; }
    // The name a failed sync is told under, once for the round (a folder they all share);
    // empty: under each item's name.
    void SetSyncName(std::string strName) { m_strSyncName = std::move(strName); }

    // Saves item nItem's one output on its own, without the batch: opens strTarget, has
    // fnWrite write it (a CFileException it throws fails the item), syncs it, renames it in
    // place and prints strLine. A failure is told under the item's name in the framework's
    // words about strTarget; a signal caught before the rename leaves the target as it was.
    // True when in place.
    bool SaveAlone(std::size_t nItem, const std::string& strTarget, const std::function<void(CFile&)>& fnWrite,
                   std::string strLine);

    // Item nItem was put in place by other means (a file patched where it lies): its line,
    // with its line end, goes to pOut as SaveAlone's does.
    void Placed(std::size_t nItem, std::string strLine);

    // Whether item nItem's outputs are in place, and how many items' are.
    bool InPlace(std::size_t nItem) const { return m_items.at(nItem).state == EState::InPlace; }
    std::size_t InPlaceCount() const;
    // Whether an item failed here (Fail, a failed sync or commit).
    bool AnyFailed() const { return m_bAnyFailed; }

    // Ends the run: prints the line of every item in place not yet printed, in order; the
    // summary (when given, no signal came and a progress line showed); removes the
    // temporaries left beside the targets; flushes pOut; stops catching signals. Gives
    // nStatus, or 128 + the signal when one came, whatever the run managed to finish.
    int Finish(int nStatus, const std::string& strSummary = std::string());

private:
    enum class EState
    {
        Open,     // being written
        Held,     // written, waiting for its commit
        InPlace,  // committed
        Failed,
    };
    struct Item
    {
        std::string strName;
        std::string strTarget;
        std::string strLine;
        EState state = EState::Open;
        bool bPrinted = false;
    };
    void FailItem(Item& item, const std::string& strMessage);
    // Prints the lines of the items in place from the first not yet printed, up to the first
    // item not done (every one in place, with bAll).
    void PrintLines(bool bAll);

    std::FILE* m_pOut;
    std::FILE* m_pErr;
    CConvProgress m_progress;
    CSaveBatch m_batch{"vellum"};
    std::optional<CSignalCatcher> m_signals;
    std::vector<std::string> m_targets;
    std::vector<Item> m_items;
    std::vector<std::size_t> m_held;  // items held, waiting for the next round
    std::size_t m_nPrinted = 0;       // items before this one are reported, or never will be
    std::size_t m_nHoldLimit = 1;
    std::string m_strSyncName;
    bool m_bLinesAtEnd = false;
    bool m_bAnyFailed = false;
};
