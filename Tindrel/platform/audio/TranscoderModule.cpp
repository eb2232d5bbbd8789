#include "Tindrel/platform/audio/TranscoderModule.h"

#include <dlfcn.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <system_error>

namespace tindrel::platform {

namespace {

constexpr const char* moduleFileName = "libtindrel_transcoder.so";

std::filesystem::path installedModule() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    return program.parent_path().parent_path() / "lib" / "tindrel" / moduleFileName;
}

TranscoderModule::TranscodeToWav load() {
    const std::array<std::filesystem::path, 2> candidates{installedModule(),
                                                          TINDREL_TRANSCODER_BUILD_PATH};
    for (const std::filesystem::path& candidate : candidates) {
        if (candidate.empty())
            continue;
        // Kept loaded for the life of the process.
        void* module = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module)
            continue;
        if (const void* entry = dlsym(module, "tindrel_transcodeToWav"))
            return *static_cast<const TranscoderModule::TranscodeToWav*>(entry);
        dlclose(module);
    }
    return nullptr;
}

} // namespace

TranscoderModule::TranscodeToWav TranscoderModule::transcodeToWav() {
    static const TranscodeToWav entry = load();
    return entry;
}

} // namespace tindrel::platform
