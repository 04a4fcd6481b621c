#pragma once

#include <filesystem>

// Symbolic links for the tests. Windows lets only a privileged user or
// developer mode make one, and Wine, which shows Linux links to programs as
// folders and files, deletes a link's target where a program deletes the
// link: tests there make none, and leave out what needs one.
class CTestLink {
public:
    static bool Available();
    // The target is taken as it is: relative to the link's folder or absolute.
    static bool Make(const std::filesystem::path& target, const std::filesystem::path& link);
};
