#include "temp_folder.h"

#include <filesystem>
#include <random>

#include "native_path.h"

namespace {

// Tests in parallel programs draw names from the same folder; a name taken
// already is drawn again.
constexpr int kTries = 100;

} // namespace

CTempFolder::CTempFolder()
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path base = fs::temp_directory_path(error);
    if (error)
        return;
    std::random_device seed;
    std::mt19937_64 draw(seed());
    for (int i = 0; i < kTries; ++i) {
        const fs::path candidate = base / ("tessel-test-" + std::to_string(draw() % 1000000000000ULL));
        if (!fs::create_directory(candidate, error) || error)
            continue;
        const fs::path real = fs::canonical(candidate, error);
        if (error)
            fs::remove(candidate, error);
        else
            m_strPath = CNativePath::ProgramPath(real);
        return;
    }
}

CTempFolder::~CTempFolder()
{
    if (!Valid())
        return;
    std::error_code error;
    std::filesystem::remove_all(CNativePath::Of(m_strPath), error);
}
