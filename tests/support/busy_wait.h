#pragma once

#include <functional>

// Keeps the calling thread's events flowing at full speed (the server's
// listener accepts on the test's thread) until a condition that other
// threads change holds, or the deadline passes. It never sleeps between
// rounds, so a burst of connections is accepted as fast as the program
// itself would accept it.
class CBusyWait {
public:
    static bool Until(const std::function<bool()>& done, int timeoutMs);
};
