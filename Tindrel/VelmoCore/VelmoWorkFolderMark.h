#pragma once

// The mark that tells a folder the update made from any folder of the same name: a file inside
// it, written as the folder is made, naming the product and the folder's own random part. The
// clean-up removes a folder only when it finds this mark (with the owner and the lock), so a
// user's folder is left alone whatever its name, and a copy of one of ours under another name
// too. The mark goes last when a folder is removed, so a removal that stopped half-way leaves
// a folder that is still known as ours. Blocking file-system work; any thread.

#include <atomic>
#include <filesystem>
#include <string>

namespace velmo {

struct VelmoWorkFolderMark {
    // Writes the mark into the folder open at `folder`; false when it cannot.
    static bool write(int folder, const std::string& product, const std::string& id);

    // True when the folder open at `folder` holds this user's mark for `product` and `id`.
    static bool isMarked(int folder, const std::string& product, const std::string& id);

    // Removes the folder at `path` (not a link to one) with everything in it, the mark last.
    // Stops, leaving the rest, when `stop` is set; false then and when anything stays.
    static bool removeFolder(const std::filesystem::path& path,
                             const std::atomic<bool>* stop = nullptr);
};

} // namespace velmo
