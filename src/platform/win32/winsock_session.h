#pragma once

// Winsock's start-up for the whole process, done once by whichever thread
// makes the first socket and kept until the process ends (the system tidies
// up after it then).
class CWinsockSession {
public:
    // Any thread; false when Winsock 2.2 is not available.
    static bool Start();
};
