#pragma once

#include <cstdint>
#include <string>

#include "temp_folder.h"

// A fresh temporary folder that a test serves as a root, and its files by
// name; removed with everything in it when the tree ends.
class CTempTree {
public:
    std::string Root() const { return m_Root.Path(); }
    // A file's path for the program's calls (see CNativePath).
    std::string PathOf(const std::string& name) const { return m_Root.PathOf(name); }
    // The same for the standard library's file calls.
    std::filesystem::path LocalPath(const std::string& name) const { return m_Root.NativeOf(name); }
    bool WriteFile(const std::string& name, const std::string& bytes) const;
    // Empty when the file cannot be read.
    std::string ReadFile(const std::string& name) const;
    // A file of that length that holds no blocks on disk (it reads as zeros).
    bool MakeSparseFile(const std::string& name, int64_t length) const;

private:
    CTempFolder m_Root;
};
