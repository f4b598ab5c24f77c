#include "tools/vellumconv/ConvCommit.h"

#include "tools/vellumconv/ConvHold.h"
#include "tools/vellumconv/ConvOutput.h"
#include "tools/vellumconv/ConvText.h"

#include <algorithm>
#include <cstring>
#include <unistd.h>

// ---- The progress line ----------------------------------------------------------------

CConvProgress::CConvProgress(std::FILE* pErr, bool bAtOnce)
    : m_pErr(pErr), m_bTerminal(::isatty(::fileno(pErr)) != 0), m_bAtOnce(bAtOnce),
      m_start(std::chrono::steady_clock::now())
{
}

void CConvProgress::Begin()
{
    m_start = std::chrono::steady_clock::now();
}

bool CConvProgress::Due(bool bForce)
{
    if (!m_bTerminal)
        return false;
    const auto now = std::chrono::steady_clock::now();
    if (!m_bAtOnce && now - m_start < std::chrono::seconds(1))
        return false;
    if (!bForce && now - m_last < std::chrono::milliseconds(100))
        return false;
    m_last = now;
    return true;
}

void CConvProgress::Show(const std::string& strText)
{
    ConvPut(m_pErr, "\r\033[K");
    ConvPut(m_pErr, strText);
    ConvFlush(m_pErr);
    m_bShown = true;
    m_bEverShown = true;
}

void CConvProgress::Clear()
{
    if (m_bShown)
    {
        ConvPut(m_pErr, "\r\033[K");
        ConvFlush(m_pErr);
        m_bShown = false;
    }
}

void CConvProgress::Summary(const std::string& strSummary)
{
    if (!m_bEverShown)
        return;
    Clear();
    ConvPut(m_pErr, strSummary);
    ConvPut(m_pErr, "\n");
    ConvFlush(m_pErr);
    m_bEverShown = false;
}

double CConvProgress::Seconds() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
}

// ---- The commits ----------------------------------------------------------------------

namespace
{
const std::atomic<bool> kNeverStop{false};
}  // namespace

CConvCommits::CConvCommits(std::FILE* pOut, std::FILE* pErr, bool bProgressAtOnce)
    : m_pOut(pOut), m_pErr(pErr), m_progress(pErr, bProgressAtOnce)
{
}

std::size_t CConvCommits::LimitHolds(std::size_t nReserve)
{
    m_nHoldLimit = ConvHoldLimit(nReserve);
    return m_nHoldLimit;
}

void CConvCommits::CatchSignals()
{
    if (!m_signals)
        m_signals.emplace();
}

const std::atomic<bool>& CConvCommits::StopFlag() const
{
    return m_signals ? m_signals->Stop() : kNeverStop;
}

void CConvCommits::Message(const std::string& strPath, const std::string& strMessage)
{
    m_progress.Clear();
    ConvPrint(m_pErr, "vellumconv: %s: %s\n", EscapeControls(strPath).c_str(), EscapeControls(strMessage).c_str());
    ConvFlush(m_pErr);
}

std::size_t CConvCommits::NewItem(std::string strName, std::string strTarget)
{
    Item item;
    item.strName = std::move(strName);
    item.strTarget = std::move(strTarget);
    m_items.push_back(std::move(item));
    return m_items.size() - 1;
}

BOOL CConvCommits::Open(CSafeSaveFile& file, const std::string& strTarget, CFileException* pError)
{
    // Swept at the end even when the open fails halfway: it may have left its temporary.
    m_targets.push_back(strTarget);
    return file.Open(strTarget.c_str(), pError, &m_batch);
}

void CConvCommits::Hold(std::size_t nItem, std::string strLine)
{
    Item& item = m_items.at(nItem);
    for (AFX_PENDING_SAVE& save : m_batch.Take(0))
        m_batch.Add(std::move(save), Group(nItem));
    item.strLine = std::move(strLine);
    item.state = EState::Held;
    m_held.push_back(nItem);
}

void CConvCommits::Fail(std::size_t nItem)
{
    Item& item = m_items.at(nItem);
    m_batch.Discard(0);
    m_batch.Discard(Group(nItem));
    item.state = EState::Failed;
    m_bAnyFailed = true;
    m_held.erase(std::remove(m_held.begin(), m_held.end(), nItem), m_held.end());
    // A failed item may be what held the lines after it back.
    PrintLines(false);
    ConvFlush(m_pOut);
}

void CConvCommits::FailItem(Item& item, const std::string& strMessage)
{
    if (!strMessage.empty())
        Message(item.strName, strMessage);
    item.state = EState::Failed;
    m_bAnyFailed = true;
}

bool CConvCommits::CommitHeld()
{
    std::sort(m_held.begin(), m_held.end());
    // Everything written reaches the disk before anything is put in place.
    std::string strSyncError;
    if (!m_batch.Sync(strSyncError))
    {
        const std::string strMessage = "cannot write the outputs to disk: " + strSyncError + ".";
        if (!m_strSyncName.empty())
            Message(m_strSyncName, strMessage);
        for (std::size_t nItem : m_held)
            FailItem(m_items[nItem], m_strSyncName.empty() ? strMessage : std::string());
        m_bAnyFailed = true;
        m_batch.Discard();
        m_held.clear();
        PrintLines(false);
        ConvFlush(m_pOut);
        return true;
    }
    bool bGoOn = true;
    std::size_t nDone = 0;
    for (; nDone < m_held.size(); ++nDone)
    {
        if (Caught() != 0)
        {
            bGoOn = false;
            break;
        }
        Item& item = m_items[m_held[nDone]];
        if (const int nError = m_batch.Commit(Group(m_held[nDone])); nError != 0)
        {
            FailItem(item, item.strTarget.empty()
                               ? std::string("cannot put the output in place: ") + std::strerror(nError) + "."
                               : AfxFileErrorMessage(item.strTarget.c_str(), std::strerror(nError), TRUE).Str());
            continue;
        }
        item.state = EState::InPlace;
        PrintLines(false);
    }
    m_held.erase(m_held.begin(), m_held.begin() + static_cast<std::ptrdiff_t>(nDone));
    ConvFlush(m_pOut);
    return bGoOn;
}

bool CConvCommits::SaveAlone(std::size_t nItem, const std::string& strTarget,
                             const std::function<void(CFile&)>& fnWrite, std::string strLine)
{
    Item& item = m_items.at(nItem);
    CSafeSaveFile file;
    CFileException fe;
    if (!file.Open(strTarget.c_str(), &fe))
    {
        FailItem(item, AfxFileErrorMessage(strTarget.c_str(), fe.GetCauseText(), TRUE).Str());
        return false;
    }
    try
    {
        fnWrite(file.GetFile());
        if (Caught() != 0)
        {
            file.Abort();
            FailItem(item, std::string());
            return false;
        }
        file.Commit();
    }
    catch (const CFileException& e)
    {
        FailItem(item, AfxFileErrorMessage(strTarget.c_str(), e.GetCauseText(), TRUE).Str());
        return false;
    }
    Placed(nItem, std::move(strLine));
    return true;
}

void CConvCommits::Placed(std::size_t nItem, std::string strLine)
{
    Item& item = m_items.at(nItem);
    item.strLine = std::move(strLine);
    item.state = EState::InPlace;
    PrintLines(false);
    ConvFlush(m_pOut);
}

std::size_t CConvCommits::InPlaceCount() const
{
    return static_cast<std::size_t>(
        std::count_if(m_items.begin(), m_items.end(), [](const Item& item) { return item.state == EState::InPlace; }));
}

void CConvCommits::PrintLines(bool bAll)
{
    if (m_bLinesAtEnd && !bAll)
        return;
    for (std::size_t i = m_nPrinted; i < m_items.size(); ++i)
    {
        Item& item = m_items[i];
        const bool bDone = item.state == EState::InPlace || item.state == EState::Failed;
        if (!bDone && !bAll)
            break;
        if (item.state == EState::InPlace && !item.bPrinted)
        {
            m_progress.Clear();
            ConvPut(m_pOut, item.strLine);
            item.bPrinted = true;
        }
        if (bDone && m_nPrinted == i)
            ++m_nPrinted;
    }
}

int CConvCommits::Finish(int nStatus, const std::string& strSummary)
{
    m_progress.Clear();
    PrintLines(true);
    ConvFlush(m_pOut);
    if (!strSummary.empty() && Caught() == 0)
        m_progress.Summary(strSummary);
    m_batch.RemoveLeftovers(m_targets);
    // Until the lines are out a signal only notes itself: one that ended the run inside a
    // write would lose the lines of items in place.
    ConvFlush(m_pOut);
    const int nSignal = Caught();
    m_signals.reset();
    m_progress.Clear();
    return nSignal != 0 ? 128 + nSignal : nStatus;
}
