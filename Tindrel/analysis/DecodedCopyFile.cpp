#include "Tindrel/analysis/DecodedCopyFile.h"

#include <sys/stat.h>

namespace tindrel {

std::optional<DecodedCopyFile> DecodedCopyFile::create(const std::filesystem::path& folder,
                                                       std::string* error) {
    std::optional<platform::UnpublishedFile> file =
        platform::UnpublishedFile::create(folder, 0600, error);
    if (!file)
        return std::nullopt;
    return DecodedCopyFile(std::move(*file));
}

int64_t DecodedCopyFile::sizeBytes() const {
    struct stat info {};
    return ::fstat(file_.descriptor(), &info) == 0 ? int64_t(info.st_size) : 0;
}

std::optional<std::filesystem::path>
DecodedCopyFile::publish(const std::filesystem::path& cacheFile) {
    // rename() never replaces a folder: one planted at the cache name stays put and the copy
    // is played from its hidden name, held until then.
    if (file_.publishReplacing(cacheFile, nullptr))
        return cacheFile;
    return file_.publishUnderHiddenName(nullptr);
}

} // namespace tindrel
