#include "Tindrel/store/NonReplacingMove.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tindrel {

namespace {

bool fail(int code, const std::filesystem::path& to, std::string* error) {
    if (error) {
        *error = code == EEXIST ? "An item named \"" + to.filename().string() + "\" already exists"
                                : std::string(std::strerror(code));
    }
    return false;
}

} // namespace

bool moveWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to,
                          std::string* error) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    const int code = errno;
    if (code != EINVAL && code != ENOSYS && code != ENOTSUP)
        return fail(code, to, error);

    // The file system cannot rename without replacing: a hard link fails on an existing name.
    if (::link(from.c_str(), to.c_str()) != 0)
        return fail(errno, to, error);
    if (::unlink(from.c_str()) != 0) {
        const int unlinkCode = errno;
        ::unlink(to.c_str());
        return fail(unlinkCode, to, error);
    }
    return true;
}

} // namespace tindrel
