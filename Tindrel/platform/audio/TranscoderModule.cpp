#include "Tindrel/platform/audio/TranscoderModule.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace tindrel::platform {

namespace {

constexpr const char* moduleFileName = "libtindrel_transcoder.so";
constexpr int foldersSearchedAbove = 3;

std::filesystem::path moduleIn(const std::filesystem::path& folder) {
    return folder / "lib" / "tindrel" / moduleFileName;
}

// Empty when only `owner` or root can have put the module there; else why not.
std::string refusal(const std::filesystem::path& module, uid_t owner) {
    for (const std::filesystem::path& path : {module, module.parent_path()}) {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0)
            return path.string() + ": " + std::strerror(errno);
        if (info.st_uid != owner && info.st_uid != 0)
            return path.string() + ": owned by another user";
        if (info.st_mode & S_IWOTH)
            return path.string() + ": writable by other users";
    }
    return {};
}

} // namespace

TranscoderModule::Loaded TranscoderModule::loadBeside(const std::filesystem::path& executable) {
    Loaded loaded;
    struct stat program {};
    if (::stat(executable.c_str(), &program) != 0) {
        loaded.failure = executable.string() + ": " + std::strerror(errno);
        return loaded;
    }
    std::filesystem::path folder = executable.parent_path();
    for (int above = 1; above <= foldersSearchedAbove && loaded.module.empty(); ++above) {
        folder = folder.parent_path();
        struct stat info {};
        if (::lstat(moduleIn(folder).c_str(), &info) == 0)
            loaded.module = moduleIn(folder);
    }
    if (loaded.module.empty()) {
        // Named where an installed program has it.
        loaded.module = moduleIn(executable.parent_path().parent_path());
        loaded.failure = loaded.module.string() + ": " + std::strerror(ENOENT);
        return loaded;
    }
    loaded.failure = refusal(loaded.module, program.st_uid);
    if (!loaded.failure.empty())
        return loaded;
    // Kept loaded for the life of the process.
    void* module = dlopen(loaded.module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* cause = dlerror();
        loaded.failure = cause ? cause : loaded.module.string() + ": not loadable";
        return loaded;
    }
    if (const void* entry = dlsym(module, "tindrel_transcodeToWav")) {
        loaded.entry = *static_cast<const TranscodeToWav*>(entry);
        return loaded;
    }
    dlclose(module);
    loaded.failure = loaded.module.string() + ": not a transcoder module";
    return loaded;
}

namespace {

const TranscoderModule::Loaded& programModule() {
    static const TranscoderModule::Loaded loaded = [] {
        std::error_code error;
        const std::filesystem::path program =
            std::filesystem::read_symlink("/proc/self/exe", error);
        if (error) {
            TranscoderModule::Loaded unknown;
            unknown.failure = "/proc/self/exe: " + error.message();
            return unknown;
        }
        return TranscoderModule::loadBeside(program);
    }();
    return loaded;
}

} // namespace

TranscoderModule::TranscodeToWav TranscoderModule::transcodeToWav() {
    return programModule().entry;
}

const std::string& TranscoderModule::loadFailure() {
    return programModule().failure;
}

} // namespace tindrel::platform
