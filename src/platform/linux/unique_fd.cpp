#include "platform/unique_fd.h"

#include <utility>

#include <unistd.h>

CUniqueFd& CUniqueFd::operator=(CUniqueFd&& other) noexcept
{
    if (this != &other)
        Reset(other.Release());
    return *this;
}

void CUniqueFd::Reset(DescriptorHandle fd)
{
    // Linux frees the descriptor even when close reports EINTR, so a retry
    // could close one that another thread has just been given.
    if (m_hFd >= 0)
        ::close(m_hFd);
    m_hFd = fd;
}

DescriptorHandle CUniqueFd::Release()
{
    return std::exchange(m_hFd, kNoDescriptor);
}
