#include "temp_tree.h"

#include <filesystem>
#include <fstream>
#include <iterator>

bool CTempTree::WriteFile(const std::string& name, const std::string& bytes) const
{
    std::ofstream file(LocalPath(name), std::ios::binary | std::ios::trunc);
    return file.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) && file.flush();
}

std::string CTempTree::ReadFile(const std::string& name) const
{
    std::ifstream file(LocalPath(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

bool CTempTree::MakeSparseFile(const std::string& name, int64_t length) const
{
    std::error_code error;
    std::ofstream(LocalPath(name), std::ios::binary | std::ios::trunc).close();
    std::filesystem::resize_file(LocalPath(name), static_cast<std::uintmax_t>(length), error);
    return !error;
}
