#include "Tindrel/VelmoCore/VelmoFolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <utility>

namespace velmo {

std::optional<VelmoFolderLock> VelmoFolderLock::tryLock(const std::filesystem::path& folder) {
    const int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0)
        return std::nullopt;
    if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        close(descriptor);
        return std::nullopt;
    }
    return VelmoFolderLock(descriptor);
}

VelmoFolderLock::VelmoFolderLock(VelmoFolderLock&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)) {}

VelmoFolderLock& VelmoFolderLock::operator=(VelmoFolderLock&& other) noexcept {
    if (this != &other) {
        if (descriptor_ >= 0)
            close(descriptor_);
        descriptor_ = std::exchange(other.descriptor_, -1);
    }
    return *this;
}

VelmoFolderLock::~VelmoFolderLock() {
    if (descriptor_ >= 0)
        close(descriptor_);
}

} // namespace velmo
