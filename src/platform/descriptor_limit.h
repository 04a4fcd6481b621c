#pragma once

// The process's limit of open descriptors. Every session holds two (its
// connection and its thread's event loop) and a transfer two more, so the
// soft limit of 1024 that desktops start programs with caps the server at a
// few hundred clients while the hard limit allows many thousands.
class CDescriptorLimit {
public:
    // Lifts the soft limit to the hard one; false if the system refused,
    // which leaves the process with the limit it had.
    static bool RaiseToHard();
    // The soft limit now; -1 when there is none.
    static long long Soft();
};
