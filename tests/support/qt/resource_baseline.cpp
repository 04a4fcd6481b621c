#include "resource_baseline.h"

#include <QDeadlineTimer>
#include <QTest>

#include "process_resources.h"

namespace {

// How long one round of waiting lets events run before counting again.
constexpr int kRoundMs = 10;

QByteArray Compared(const char* what, int now, int before)
{
    return QByteArray(what) + ' ' + QByteArray::number(now) + " (" + QByteArray::number(before) + " at the baseline)";
}

} // namespace

CResourceBaseline::CResourceBaseline()
    : m_nThreads(CProcessResources::ThreadCount()), m_nFiles(CProcessResources::OpenFileCount())
{
}

QByteArray CResourceBaseline::WaitUntilBack(Held what, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    QByteArray difference = Difference(what);
    while (!difference.isEmpty() && !deadline.hasExpired()) {
        // Also runs deferred deletes, which end what a session leaves behind.
        QTest::qWait(kRoundMs);
        difference = Difference(what);
    }
    return difference;
}

QByteArray CResourceBaseline::Difference(Held what) const
{
    QByteArray difference;
    const int threads = CProcessResources::ThreadCount();
    if (threads != m_nThreads)
        difference = Compared("threads", threads, m_nThreads);
    const int files = what == Held::ThreadsAndFiles ? CProcessResources::OpenFileCount() : m_nFiles;
    if (files != m_nFiles)
        difference += (difference.isEmpty() ? "" : ", ") + Compared("descriptors", files, m_nFiles);
    return difference;
}
