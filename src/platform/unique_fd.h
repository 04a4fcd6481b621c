#pragma once

// A descriptor as the system names it: an int on Linux, a kernel object
// HANDLE (a file) on Windows, where "none" is the null handle; the calls
// that answer INVALID_HANDLE_VALUE for a failure are turned into it.
#ifdef _WIN32
using DescriptorHandle = void*;
constexpr DescriptorHandle kNoDescriptor = nullptr;
#else
using DescriptorHandle = int;
constexpr DescriptorHandle kNoDescriptor = -1;
#endif

// Owns one file descriptor and closes it exactly once: when it is reset, given
// a new one, or destroyed. Error paths need close nothing by hand.
class CUniqueFd {
public:
    CUniqueFd() = default;
    explicit CUniqueFd(DescriptorHandle fd) : m_hFd(fd) {}
    CUniqueFd(CUniqueFd&& other) noexcept : m_hFd(other.Release()) {}
    CUniqueFd& operator=(CUniqueFd&& other) noexcept;
    CUniqueFd(const CUniqueFd&) = delete;
    CUniqueFd& operator=(const CUniqueFd&) = delete;
    ~CUniqueFd() { Reset(); }

    DescriptorHandle Get() const { return m_hFd; }
#ifdef _WIN32
    bool Valid() const { return m_hFd != kNoDescriptor; }
#else
    bool Valid() const { return m_hFd >= 0; }
#endif
    // Closes the descriptor held, if any, and holds fd instead.
    void Reset(DescriptorHandle fd = kNoDescriptor);
    // Hands the descriptor over to the caller, who closes it.
    DescriptorHandle Release();

private:
    DescriptorHandle m_hFd = kNoDescriptor;
};
