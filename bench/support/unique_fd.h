#pragma once

#include <unistd.h>

#include <utility>

// Owns one file descriptor of the benchmark programs and closes it once.
class CUniqueFd {
public:
    CUniqueFd() = default;
    explicit CUniqueFd(int fd) : m_hFd(fd) {}
    CUniqueFd(CUniqueFd&& other) noexcept : m_hFd(std::exchange(other.m_hFd, -1)) {}
    CUniqueFd& operator=(CUniqueFd&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_hFd = std::exchange(other.m_hFd, -1);
        }
        return *this;
    }
    CUniqueFd(const CUniqueFd&) = delete;
    CUniqueFd& operator=(const CUniqueFd&) = delete;
    ~CUniqueFd() { Reset(); }

    int Get() const { return m_hFd; }
    bool Valid() const { return m_hFd >= 0; }
    void Reset()
    {
        if (m_hFd >= 0)
            ::close(m_hFd);
        m_hFd = -1;
    }

private:
    int m_hFd = -1;
};
