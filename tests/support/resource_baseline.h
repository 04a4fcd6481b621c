#pragma once

#include <string>

// The threads and descriptors the test process held when the baseline was
// taken, to tell whether a server in it gave back all it took since.
class CResourceBaseline {
public:
    enum class Held { Threads, ThreadsAndFiles };

    CResourceBaseline();

    // Keeps the test thread's events flowing until the process holds again
    // what it held at the baseline: empty then, or, once the deadline has
    // passed, what is still different.
    std::string WaitUntilBack(Held what, int timeoutMs) const;

private:
    std::string Difference(Held what) const;

    int m_nThreads;
    int m_nFiles;
};
