#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

std::uint32_t CThread::CurrentThreadId()
{
    return static_cast<std::uint32_t>(::gettid());
}

void CThread::ResumeThread()
{
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (m_nStackBytes > 0)
        pthread_attr_setstacksize(&attributes, m_nStackBytes);
    pthread_t hThread;
    m_bStarted = ::pthread_create(&hThread, &attributes, &CThread::Entry, this) == 0;
    pthread_attr_destroy(&attributes);
    // The wait spins and yields briefly before it sleeps: the new thread is
    // usually that quick, and a sleeping waiter woken by it would take the
    // processor from it just before it greets its client.
    if (m_bStarted)
        m_nThreadId.wait(0);
}

// By the kernel id: the thread may be ending, and a detached thread's handle
// is gone with it.
void CThread::RaisePriority()
{
    const pid_t id = static_cast<pid_t>(m_nThreadId.load());
    if (id == 0)
        return;
    const int policy = ::sched_getscheduler(id);
    if (policy < 0)
        return;
    sched_param parameters = {};
    parameters.sched_priority = ::sched_get_priority_max(policy);
    ::sched_setparam(id, &parameters);
}
