#include "Tindrel/store/StandardizedPath.h"

namespace tindrel {

std::filesystem::path standardizedPath(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error)
        absolute = path;
    std::filesystem::path normal = absolute.lexically_normal();
    // "/a/b/" keeps an empty last element; the folder is "/a/b".
    if (!normal.has_filename() && normal != normal.root_path())
        normal = normal.parent_path();
    return normal;
}

} // namespace tindrel
