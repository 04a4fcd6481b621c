#include "platform/unique_fd.h"

#include <utility>

#include <windows.h>

CUniqueFd& CUniqueFd::operator=(CUniqueFd&& other) noexcept
{
    if (this != &other)
        Reset(other.Release());
    return *this;
}

void CUniqueFd::Reset(DescriptorHandle fd)
{
    if (m_hFd != kNoDescriptor)
        ::CloseHandle(m_hFd);
    m_hFd = fd;
}

DescriptorHandle CUniqueFd::Release()
{
    return std::exchange(m_hFd, kNoDescriptor);
}
