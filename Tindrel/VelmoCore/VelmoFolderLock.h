#pragma once

// An exclusive lock (flock) on a folder, held while an install uses it: the folder's own
// descriptor carries it, so it follows the folder when renamed and ends, whatever the way out,
// when the last process holding the descriptor ends. Other processes, and other descriptors
// of this one, see the folder as taken. Any thread; one owner per object.

#include <filesystem>
#include <optional>

namespace velmo {

class VelmoFolderLock {
public:
    // Locks the folder itself (not a link to one); nothing when it is taken or cannot be opened.
    static std::optional<VelmoFolderLock> tryLock(const std::filesystem::path& folder);

    VelmoFolderLock(VelmoFolderLock&& other) noexcept;
    VelmoFolderLock& operator=(VelmoFolderLock&& other) noexcept;
    ~VelmoFolderLock();

    // The descriptor that carries the lock, for handing to a process that outlives this one.
    int descriptor() const { return descriptor_; }

private:
    explicit VelmoFolderLock(int descriptor) : descriptor_(descriptor) {}
    int descriptor_;
};

} // namespace velmo
