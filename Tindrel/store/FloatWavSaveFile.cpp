#include "Tindrel/store/FloatWavSaveFile.h"

#include "Tindrel/platform/audio/StaleTemporaryFiles.h"

#include <sndfile.h>

#include <cerrno>
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

// O_EXCL with a random name, so the file gets the usual permissions (0666 less the umask).
int createNamedTemporary(const std::filesystem::path& folder, std::filesystem::path& path) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = randomTemporaryPath(folder);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

std::filesystem::path folderOf(const std::filesystem::path& target) {
    return target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
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
                                                           std::string* error) {
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
        file = platform::FileDescriptor(createNamedTemporary(folder, temporaryPath));
    if (!file.valid()) {
        if (error)
            *error = systemError(errno);
        return nullptr;
    }
    SF_INFO info{};
    info.samplerate = static_cast<int>(sampleRate);
    info.channels = static_cast<int>(channels);
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    // The descriptor stays ours: the finished file is linked into place through it.
    SNDFILE* sound = sf_open_fd(file.get(), SFM_WRITE, &info, SF_FALSE);
    if (!sound) {
        if (error)
            *error = sf_strerror(nullptr);
        if (!temporaryPath.empty())
            ::unlink(temporaryPath.c_str());
        return nullptr;
    }
    return std::unique_ptr<FloatWavSaveFile>(
        new FloatWavSaveFile(std::move(file), sound, std::move(temporaryPath), target, channels));
}

FloatWavSaveFile::FloatWavSaveFile(platform::FileDescriptor file, SNDFILE* sound,
                                   std::filesystem::path temporaryPath,
                                   std::filesystem::path target, uint32_t channels)
    : file_(std::move(file)), sound_(sound), temporaryPath_(std::move(temporaryPath)),
      target_(std::move(target)), channels_(channels) {}

FloatWavSaveFile::~FloatWavSaveFile() {
    if (sound_)
        sf_close(sound_);
    if (!committed_ && !temporaryPath_.empty())
        ::unlink(temporaryPath_.c_str());
}

bool FloatWavSaveFile::append(const platform::AudioPcmBuffer& buffer, std::string* error) {
    if (!sound_ || buffer.channelCount() != channels_) {
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
    if (sf_writef_float(sound_, interleaved_.data(), frames) != frames) {
        if (error)
            *error = sf_strerror(sound_);
        return false;
    }
    framesWritten_ += frames;
    return true;
}

bool FloatWavSaveFile::commit(std::string* error) {
    if (!sound_)
        return false;
    sf_write_sync(sound_);
    const int closeResult = sf_close(sound_);
    sound_ = nullptr;
    if (closeResult != 0) {
        if (error)
            *error = sf_error_number(closeResult);
        return false;
    }
    if (temporaryPath_.empty() ? !linkIntoPlace()
                               : ::rename(temporaryPath_.c_str(), target_.c_str()) != 0) {
        if (error)
            *error = systemError(errno);
        return false;
    }
    committed_ = true;
    return true;
}

bool FloatWavSaveFile::linkIntoPlace() {
    const std::string self = "/proc/self/fd/" + std::to_string(file_.get());
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target_.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    // An earlier file of the name is replaced in one step: the complete file gets a short
    // hidden name first and is renamed over it.
    for (int attempt = 0; errno == EEXIST && attempt < 100; ++attempt) {
        const std::filesystem::path named = randomTemporaryPath(folderOf(target_));
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, named.c_str(), AT_SYMLINK_FOLLOW) != 0)
            continue;
        if (::rename(named.c_str(), target_.c_str()) == 0)
            return true;
        const int failure = errno;
        ::unlink(named.c_str());
        errno = failure;
        break;
    }
    return false;
}

} // namespace tindrel
