#include "tools/vellumconv/ConvBatch.h"

#include "tools/vellumconv/ConvCommit.h"
#include "tools/vellumconv/ConvOutput.h"
#include "tools/vellumconv/ConvRoute.h"
#include "tools/vellumconv/ConvText.h"
#include "tools/vellumconv/ConvWorkers.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// The folders a batch makes for its outputs, as mkdir -p, and on the way out those of them
// that stayed empty (their files failed, or the batch stopped), so a batch leaves no folder
// that holds none of its outputs.
class CBatchFolders
{
public:
    CBatchFolders() = default;
    CBatchFolders(const CBatchFolders&) = delete;
    CBatchFolders& operator=(const CBatchFolders&) = delete;
    ~CBatchFolders()
    {
        for (auto it = m_made.rbegin(); it != m_made.rend(); ++it)
            ::rmdir(it->c_str());
    }

    // Makes strPath and the folders above it that are missing: 0 or the errno. Past its first
    // nTrusted bytes (the --out-dir the user named) a link of another user is not followed:
    // ELOOP, with strPart the link.
    int Make(const std::string& strPath, std::size_t nTrusted, std::string& strPart)
    {
        for (std::size_t nEnd = 0; nEnd != std::string::npos;)
        {
            nEnd = strPath.find('/', nEnd + 1);
            strPart = strPath.substr(0, nEnd);
            struct stat st;
            if (strPart.size() > nTrusted && ::lstat(strPart.c_str(), &st) == 0 && S_ISLNK(st.st_mode) &&
                st.st_uid != ::geteuid() && st.st_uid != 0)
                return ELOOP;
            if (::stat(strPart.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                continue;
            int nMade;
            do
                nMade = ::mkdir(strPart.c_str(), 0777);
            while (nMade != 0 && errno == EINTR);
            if (nMade != 0 && errno != EEXIST)
                return errno;
            if (nMade == 0)
                m_made.push_back(strPart);
        }
        struct stat st;
        if (::stat(strPath.c_str(), &st) != 0)
            return errno;
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    }

private:
    std::vector<std::string> m_made;  // in the order they were made
};

// One batch from its plan to its report. Its steps return the exit status once the batch
// ends early, or nothing to go on.
class CConvBatchRun
{
public:
    CConvBatchRun(const ConvBatchOptions& options, std::FILE* pOut, std::FILE* pErr)
        : m_options(options), m_pOut(pOut), m_pErr(pErr), m_commits(pOut, pErr, true)
    {
        m_commits.LinesAtEnd();
    }
    int Run();

private:
    std::optional<int> Plan();
    // bGoOn becomes false when a signal stopped the batch; what is in place is reported all
    // the same.
    std::optional<int> Convert(bool& bGoOn);
    // A line for each file whose outputs are in place, and none for any other; then the end.
    int Report();
    std::string ProgressText() const;
    // Tells on stderr that file i failed: one line per message.
    void Fail(std::size_t i, const std::vector<std::string>& messages);

    const ConvBatchOptions& m_options;
    std::FILE* m_pOut;
    std::FILE* m_pErr;
    std::vector<ConvBatchJob> m_jobs;
    // Item i is file i, its outputs the batch's group of i.
    CConvCommits m_commits;
    std::size_t m_nDone = 0;  // files a worker finished
    bool m_bAnyFailed = false;
    // Made before the workers start, as their temporaries need them; the empty ones go after
    // the last line.
    CBatchFolders m_folders;
};

int CConvBatchRun::Run()
{
    if (std::optional<int> nStatus = Plan())
        return *nStatus;
    bool bGoOn = true;
    if (std::optional<int> nStatus = Convert(bGoOn))
        return *nStatus;
    if (bGoOn)
        m_commits.CommitHeld();
    return Report();
}

std::optional<int> CConvBatchRun::Plan()
{
    std::string strError, strHint;
    std::vector<std::string> notes;
    if (!PlanConvBatch(m_options, m_jobs, strError, &notes, &strHint))
    {
        if (!strHint.empty())
            strError += "\nvellumconv: " + strHint;
        ConvPrint(m_pErr, "vellumconv: %s\nTry 'vellumconv --help'.\n", strError.c_str());
        return 2;
    }
    // A later save into the folder would remove such an output, or write its journal back.
    for (const ConvBatchJob& job : m_jobs)
        if (const std::string strReason = ConvReservedNameReason(job.strOut); !strReason.empty())
        {
            ConvPrint(m_pErr,
                      "vellumconv: '%s' would be saved as '%s', %s; choose another extension\n"
                      "Try 'vellumconv --help'.\n",
                      EscapeControls(job.strIn).c_str(), EscapeControls(job.strOut).c_str(), strReason.c_str());
            return 2;
        }
    for (const std::string& strNote : notes)
        ConvPrint(m_pErr, "vellumconv: %s\n", strNote.c_str());
    if (m_jobs.empty())
        return 0;
    if (m_options.verb.kind != EConvVerb::Export && IsUnnamedSheet(m_options.strExt))
        ConvPrint(m_pErr, "vellumconv: '--to %s': each output is %s\n", EscapeControls(m_options.strExt).c_str(),
                  UNNAMED_SHEET_NOTE);
    for (const ConvBatchJob& job : m_jobs)
    {
        m_commits.NewItem(job.strIn, job.strOut);
        m_commits.AddTarget(job.strOut);
    }
    std::vector<std::string> folders;
    if (!m_options.strOutDir.empty())
        folders.push_back(m_options.strOutDir);
    if (m_options.bParents)
        for (const ConvBatchJob& job : m_jobs)
            folders.push_back(job.strOut.substr(0, job.strOut.rfind('/')));
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    for (const std::string& strFolder : folders)
    {
        std::string strPart;
        if (const int nError = m_folders.Make(strFolder, m_options.strOutDir.size(), strPart))
        {
            const std::string strWhy =
                nError == ELOOP ? ConvFormat("'%s' is another user's link, which a batch does not follow",
                                             EscapeControls(strPart).c_str())
                                : std::string(std::strerror(nError));
            ConvPrint(m_pErr, "vellumconv: %s: cannot make the folder: %s.\n", EscapeControls(strFolder).c_str(),
                      strWhy.c_str());
            return 1;
        }
    }
    return std::nullopt;
}

std::optional<int> CConvBatchRun::Convert(bool& bGoOn)
{
    const long nProcessors = ::sysconf(_SC_NPROCESSORS_ONLN);
    const std::size_t nJobs = std::min(m_jobs.size(), m_options.nJobs > 0 ? static_cast<std::size_t>(m_options.nJobs)
                                                                           : static_cast<std::size_t>(nProcessors > 0 ? nProcessors : 1));
    // Every output stays open until its commit; a batch with more of them than that commits
    // in rounds, each after a sync of its own.
    m_commits.LimitHolds(32 + 2 * nJobs);  // the workers' sockets, and what a save opens
    CConvWorkerPool pool(m_jobs, m_options.verb, m_commits.Batch());
    std::string strError;
    if (!pool.Prepare(strError))
    {
        ConvPrint(m_pErr, "vellumconv: cannot start the workers: %s.\n", strError.c_str());
        return 1;
    }
    m_commits.CatchSignals();
    ConvFlush(m_pOut);
    ConvFlush(m_pErr);
    pool.Start(nJobs, [this] { return m_commits.Caught() != 0; });

    m_commits.Progress().Begin();
    m_bAnyFailed = !pool.Started();
    // With -0 the lines end as the names came in.
    const char chEnd = m_options.bNulSeparated ? '\0' : '\n';
    bool bStopped = false;
    while (pool.Running() && m_commits.Caught() == 0 && !bStopped)
    {
        pool.Poll([&](std::size_t i) {
            ++m_nDone;
            ConvFileResult& r = pool.Results()[i];
            if (!r.bOk)
            {
                Fail(i, r.messages);
                return;
            }
            for (AFX_PENDING_SAVE& save : r.saves)
                m_commits.Batch().Add(std::move(save), CConvCommits::Group(i));
            r.saves.clear();
            m_commits.Hold(i, ConvFormat("%s\t%s\t%s%c", EscapeControls(m_jobs[i].strIn).c_str(),
                                         EscapeControls(m_jobs[i].strOut).c_str(),
                                         EscapeControls(r.strStatus).c_str(), chEnd));
        });
        bStopped = !m_commits.CommitIfFull();
        m_commits.Progress().Update([&] { return ProgressText(); });
    }
    pool.Stop(m_commits.Caught() != 0);
    std::vector<ConvFileResult>& results = pool.Results();
    if (m_commits.Caught() != 0 || bStopped)
    {
        bGoOn = false;
        return std::nullopt;
    }

    for (std::size_t i = 0; i < results.size(); ++i)
        if (!results[i].bDone)
        {
            results[i].bDone = true;
            Fail(i, {"the conversion stopped unexpectedly."});
        }
    return std::nullopt;
}

std::string CConvBatchRun::ProgressText() const
{
    const double dSeconds = m_commits.Progress().Seconds();
    // A rate over less than a second says more about the start than about the batch.
    if (dSeconds >= 1.0)
        return ConvFormat("vellumconv: %zu of %zu files, %.0f files/s", m_nDone, m_jobs.size(),
                          static_cast<double>(m_nDone) / dSeconds);
    return ConvFormat("vellumconv: %zu of %zu files", m_nDone, m_jobs.size());
}

int CConvBatchRun::Report()
{
    if (m_commits.Caught() != 0)
        return m_commits.Finish(1);
    m_commits.Progress().Update([&] { return ProgressText(); }, true);
    const std::size_t nConverted = m_commits.InPlaceCount();
    return m_commits.Finish(m_bAnyFailed || m_commits.AnyFailed() ? 1 : 0,
                            ConvFormat("vellumconv: %zu converted, %zu failed in %.1f s", nConverted,
                                       m_jobs.size() - nConverted, m_commits.Progress().Seconds()));
}

void CConvBatchRun::Fail(std::size_t i, const std::vector<std::string>& messages)
{
    for (const std::string& strMessage : messages)
        m_commits.Message(m_jobs[i].strIn, strMessage);
    if (messages.empty())
        m_commits.Message(m_jobs[i].strIn, "cannot convert the file.");
    m_commits.Fail(i);
    m_bAnyFailed = true;
}

}  // namespace

int RunConvBatch(const ConvBatchOptions& options, std::FILE* pOut, std::FILE* pErr)
{
    return CConvBatchRun(options, pOut, pErr).Run();
}
