#include "Tindrel/store/FloatWavSaveFile.h"

#include <sndfile.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace tindrel {

namespace {

std::string systemError(int code) {
    return std::string(std::strerror(code));
}

// O_EXCL with a random name, so the file gets the usual permissions (0666 less the umask).
int createUniqueFile(const std::filesystem::path& target, std::filesystem::path& path) {
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, "%012llx",
                      static_cast<unsigned long long>(random() & 0xffffffffffffULL));
        path = target.parent_path() / ("." + target.filename().string() + "." + suffix + ".part");
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

} // namespace

std::unique_ptr<FloatWavSaveFile> FloatWavSaveFile::create(const std::filesystem::path& target,
                                                           double sampleRate, uint32_t channels,
                                                           std::string* error) {
    std::error_code code;
    if (std::filesystem::is_directory(target, code)) {
        if (error)
            *error = "A folder named \"" + target.filename().string() + "\" is in the way";
        return nullptr;
    }
    std::filesystem::path temporaryPath;
    const int fd = createUniqueFile(target, temporaryPath);
    if (fd < 0) {
        if (error)
            *error = systemError(errno);
        return nullptr;
    }
    SF_INFO info{};
    info.samplerate = static_cast<int>(sampleRate);
    info.channels = static_cast<int>(channels);
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
    if (!file) {
        if (error)
            *error = sf_strerror(nullptr);
        // sf_open_fd has closed the descriptor already (it owns it); closing it again could
        // close a file another thread has just opened under the same number.
        ::unlink(temporaryPath.c_str());
        return nullptr;
    }
    return std::unique_ptr<FloatWavSaveFile>(
        new FloatWavSaveFile(file, std::move(temporaryPath), target, channels));
}

FloatWavSaveFile::FloatWavSaveFile(SNDFILE* file, std::filesystem::path temporaryPath,
                                   std::filesystem::path target, uint32_t channels)
    : file_(file), temporaryPath_(std::move(temporaryPath)), target_(std::move(target)),
      channels_(channels) {}

FloatWavSaveFile::~FloatWavSaveFile() {
    if (file_)
        sf_close(file_);
    if (!committed_)
        ::unlink(temporaryPath_.c_str());
}

bool FloatWavSaveFile::append(const platform::AudioPcmBuffer& buffer, std::string* error) {
    if (!file_ || buffer.channelCount() != channels_) {
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
    if (sf_writef_float(file_, interleaved_.data(), frames) != frames) {
        if (error)
            *error = sf_strerror(file_);
        return false;
    }
    framesWritten_ += frames;
    return true;
}

bool FloatWavSaveFile::commit(std::string* error) {
    if (!file_)
        return false;
    sf_write_sync(file_);
    const int closeResult = sf_close(file_);
    file_ = nullptr;
    if (closeResult != 0) {
        if (error)
            *error = sf_error_number(closeResult);
        return false;
    }
    if (::rename(temporaryPath_.c_str(), target_.c_str()) != 0) {
        if (error)
            *error = systemError(errno);
        return false;
    }
    committed_ = true;
    return true;
}

} // namespace tindrel
