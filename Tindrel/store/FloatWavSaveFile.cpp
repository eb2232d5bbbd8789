#include "Tindrel/store/FloatWavSaveFile.h"

#include "Tindrel/platform/audio/NewFileWriting.h"
#include "Tindrel/platform/audio/StaleTemporaryFiles.h"
#include "Tindrel/store/NonReplacingMove.h"

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace tindrel {

namespace {

constexpr std::string_view temporarySuffix = ".part";
constexpr size_t randomDigits = 12;

std::string systemError(int code) {
    return std::string(std::strerror(code));
}

// ".tindrel.<12 hex digits>.part", short whatever the target's name.
std::filesystem::path randomTemporaryPath(const std::filesystem::path& folder) {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    char name[40];
    std::snprintf(name, sizeof name, ".tindrel.%012llx.part",
                  static_cast<unsigned long long>(random() & 0xffffffffffffULL));
    return folder / name;
}

std::filesystem::path folderOf(const std::filesystem::path& target) {
    return target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
}

bool placementFailed(int code, const std::filesystem::path& target, std::string* error) {
    if (error) {
        *error = code == EEXIST
                     ? "An item named \"" + target.filename().string() + "\" already exists"
                     : systemError(code);
    }
    return false;
}

} // namespace

bool FloatWavSaveFile::isTemporaryName(std::string_view name) {
    // Also the earlier "." + target + "." + digits + ".part" form.
    if (name.size() < 1 + 1 + randomDigits + temporarySuffix.size() || name.front() != '.' ||
        name.substr(name.size() - temporarySuffix.size()) != temporarySuffix)
        return false;
    const std::string_view digits =
        name.substr(name.size() - temporarySuffix.size() - randomDigits, randomDigits);
    return name[name.size() - temporarySuffix.size() - randomDigits - 1] == '.' &&
           digits.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

std::unique_ptr<FloatWavSaveFile> FloatWavSaveFile::create(const std::filesystem::path& target,
                                                           double sampleRate, uint32_t channels,
                                                           WavInfo info, std::string* error) {
    std::error_code code;
    if (std::filesystem::is_directory(target, code)) {
        if (error)
            *error = "A folder named \"" + target.filename().string() + "\" is in the way";
        return nullptr;
    }
    const std::filesystem::path folder = folderOf(target);
    platform::removeStaleTemporaryFiles(folder, isTemporaryName);
    std::filesystem::path temporaryPath;
    platform::FileDescriptor file(::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (!file.valid() && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL))
        // A random name instead, so the file gets the usual permissions (0666 less the umask).
        file = platform::createNewFile([&] { return randomTemporaryPath(folder); }, O_WRONLY, 0666,
                                       temporaryPath);
    if (!file.valid()) {
        if (error)
            *error = systemError(errno);
        return nullptr;
    }
    std::unique_ptr<FloatWavSaveFile> saveFile(new FloatWavSaveFile(
        std::move(file), std::move(temporaryPath), target,
        static_cast<uint32_t>(std::lround(sampleRate)), channels, std::move(info)));
    // The header is written again with the sizes at commit; its length stays the same.
    const std::string header = floatWavHeader(saveFile->sampleRate_, channels, 0, saveFile->info_);
    if (!saveFile->writeAll(header.data(), header.size(), error))
        return nullptr;
    return saveFile;
}

FloatWavSaveFile::FloatWavSaveFile(platform::FileDescriptor file,
                                   std::filesystem::path temporaryPath,
                                   std::filesystem::path target, uint32_t sampleRate,
                                   uint32_t channels, WavInfo info)
    : file_(std::move(file)), temporaryPath_(std::move(temporaryPath)), target_(std::move(target)),
      sampleRate_(sampleRate), channels_(channels), info_(std::move(info)) {}

FloatWavSaveFile::~FloatWavSaveFile() {
    if (!committed_ && !temporaryPath_.empty())
        ::unlink(temporaryPath_.c_str());
}

bool FloatWavSaveFile::writeAll(const void* data, size_t size, std::string* error) {
    if (platform::writeWhole(file_.get(), data, size))
        return true;
    if (error)
        *error = systemError(errno);
    return false;
}

bool FloatWavSaveFile::append(const platform::AudioPcmBuffer& buffer, std::string* error) {
    if (committed_ || buffer.channelCount() != channels_) {
        if (error)
            *error = "The rendered audio does not match the file's channels";
        return false;
    }
    const int64_t frames = buffer.frameLength();
    interleaved_.resize(static_cast<size_t>(frames) * channels_);
    for (uint32_t channel = 0; channel < channels_; ++channel) {
        const float* samples = buffer.channelData(channel);
        for (int64_t frame = 0; frame < frames; ++frame)
            interleaved_[static_cast<size_t>(frame) * channels_ + channel] = samples[frame];
    }
    // WAV samples are little-endian.
    if constexpr (std::endian::native == std::endian::big) {
        for (float& sample : interleaved_) {
            uint32_t bits = 0;
            std::memcpy(&bits, &sample, sizeof bits);
            bits = __builtin_bswap32(bits);
            std::memcpy(&sample, &bits, sizeof bits);
        }
    }
    if (!writeAll(interleaved_.data(), interleaved_.size() * sizeof(float), error))
        return false;
    framesWritten_ += frames;
    return true;
}

bool FloatWavSaveFile::commit(ExistingFile existing, std::string* error) {
    if (committed_)
        return false;
    const std::string header = floatWavHeader(sampleRate_, channels_, framesWritten_, info_);
    if (::pwrite(file_.get(), header.data(), header.size(), 0) != ssize_t(header.size()) ||
        ::fsync(file_.get()) != 0) {
        if (error)
            *error = systemError(errno);
        return false;
    }
    if (!(temporaryPath_.empty() ? linkIntoPlace(existing, error) : moveIntoPlace(existing, error)))
        return false;
    committed_ = true;
    return true;
}

bool FloatWavSaveFile::linkIntoPlace(ExistingFile existing, std::string* error) {
    const std::string self = "/proc/self/fd/" + std::to_string(file_.get());
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target_.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    if (errno != EEXIST || existing == ExistingFile::keep)
        return placementFailed(errno, target_, error);
    // The file of the name is replaced in one step: the complete file gets a short hidden name
    // first and is renamed over it.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path named = randomTemporaryPath(folderOf(target_));
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, named.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            if (errno == EEXIST)
                continue;
            return placementFailed(errno, target_, error);
        }
        if (::rename(named.c_str(), target_.c_str()) == 0)
            return true;
        const int failure = errno;
        ::unlink(named.c_str());
        return placementFailed(failure, target_, error);
    }
    return placementFailed(EEXIST, target_, error);
}

bool FloatWavSaveFile::moveIntoPlace(ExistingFile existing, std::string* error) {
    if (existing == ExistingFile::keep)
        return moveWithoutReplacing(temporaryPath_, target_, error);
    return ::rename(temporaryPath_.c_str(), target_.c_str()) == 0 ||
           placementFailed(errno, target_, error);
}

} // namespace tindrel
