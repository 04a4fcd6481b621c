#pragma once

// Owns one file descriptor and closes it exactly once: when it is reset, given
// a new one, or destroyed. Error paths need close nothing by hand.
class CUniqueFd {
public:
    CUniqueFd() = default;
    explicit CUniqueFd(int fd) : m_hFd(fd) {}
    CUniqueFd(CUniqueFd&& other) noexcept : m_hFd(other.Release()) {}
    CUniqueFd& operator=(CUniqueFd&& other) noexcept;
    CUniqueFd(const CUniqueFd&) = delete;
    CUniqueFd& operator=(const CUniqueFd&) = delete;
    ~CUniqueFd() { Reset(); }

    int Get() const { return m_hFd; }
    bool Valid() const { return m_hFd >= 0; }
    // Closes the descriptor held, if any, and holds fd instead.
    void Reset(int fd = -1);
    // Hands the descriptor over to the caller, who closes it.
    int Release();

private:
    int m_hFd = -1;
};
