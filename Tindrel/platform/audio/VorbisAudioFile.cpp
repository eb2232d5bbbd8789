#include "Tindrel/platform/audio/VorbisAudioFile.h"

#include "Tindrel/platform/audio/DecodableLength.h"
#include "Tindrel/platform/audio/OggVorbisLinks.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <vector>

namespace tindrel::platform {
namespace {

OpenedFileCursor& cursorOf(void* source) {
    return *static_cast<OpenedFileCursor*>(source);
}

size_t readSource(void* data, size_t size, size_t count, void* source) {
    if (size == 0)
        return 0;
    const int64_t got = cursorOf(source).read(data, size * count);
    return got > 0 ? static_cast<size_t>(got) / size : 0;
}

int seekSource(void* source, ogg_int64_t offset, int whence) {
    return cursorOf(source).seek(offset, whence) < 0 ? -1 : 0;
}

long tellSource(void* source) {
    return static_cast<long>(cursorOf(source).tell());
}

// Ogg Vorbis carries the Vorbis identification header near its start. It is looked for
// anywhere in the first pages, not only where an intact first page puts it, so a damaged
// Vorbis file is still told apart from other Ogg (and never handed to libsndfile, whose own
// Vorbis reading leaks on such input).
bool beginsAsOggVorbis(OpenedFileCursor& cursor) {
    std::vector<unsigned char> head(64 * 1024);
    const int64_t got = cursor.read(head.data(), head.size());
    cursor.seek(0, SEEK_SET);
    if (got < 4 || std::memcmp(head.data(), "OggS", 4) != 0)
        return false;
    static constexpr unsigned char identification[] = {0x01, 'v', 'o', 'r', 'b', 'i', 's'};
    const auto end = head.begin() + got;
    return std::search(head.begin(), end, std::begin(identification), std::end(identification)) !=
           end;
}

// The cursor belongs to the reader, so the library closes nothing.
const ov_callbacks cursorCallbacks{readSource, seekSource, nullptr, tellSource};

bool decodesFrameAt(OggVorbis_File* file, int64_t frame) {
    if (ov_pcm_seek(file, frame) != 0)
        return false;
    float** pcm = nullptr;
    int link = 0;
    long got = OV_HOLE;
    for (int attempt = 0; got == OV_HOLE && attempt < 4; ++attempt)
        got = ov_read_float(file, &pcm, 1, &link);
    return got > 0;
}

} // namespace

VorbisAudioFile::VorbisAudioFile(std::filesystem::path path,
                                 std::unique_ptr<OpenedFileCursor> cursor,
                                 std::unique_ptr<OggVorbis_File> file, AudioFormat format,
                                 int64_t length)
    : path_(std::move(path)), cursor_(std::move(cursor)), file_(std::move(file)), format_(format),
      length_(length) {}

VorbisAudioFile::~VorbisAudioFile() {
    ov_clear(file_.get());
}

std::unique_ptr<AudioFile> VorbisAudioFile::open(const std::filesystem::path& path,
                                                 std::string* error) {
    auto cursor = OpenedFileCursor::openRegularFile(path, error);
    return cursor ? open(path, std::move(cursor), error) : nullptr;
}

std::unique_ptr<AudioFile> VorbisAudioFile::open(const std::filesystem::path& path,
                                                 std::unique_ptr<OpenedFileCursor> cursor,
                                                 std::string* error,
                                                 std::optional<int64_t> checkedLength) {
    if (!beginsAsOggVorbis(*cursor))
        return nullptr;
    if (!checkedLength && !everyOggLinkCarriesVorbis(*cursor)) {
        if (error)
            *error = "unsupported Ogg Vorbis layout";
        return nullptr;
    }
    auto file = std::make_unique<OggVorbis_File>();
    if (ov_test_callbacks(cursor.get(), file.get(), nullptr, 0, cursorCallbacks) != 0) {
        if (error)
            *error = "damaged Ogg Vorbis stream";
        return nullptr;
    }
    if (ov_test_open(file.get()) != 0 || ov_seekable(file.get()) == 0) {
        ov_clear(file.get());
        if (error)
            *error = "damaged Ogg Vorbis stream";
        return nullptr;
    }
    const vorbis_info* first = ov_info(file.get(), 0);
    bool uniform = first && first->channels > 0 && first->rate > 0;
    for (long link = 1; uniform && link < ov_streams(file.get()); ++link) {
        const vorbis_info* info = ov_info(file.get(), static_cast<int>(link));
        uniform = info && info->channels == first->channels && info->rate == first->rate;
    }
    const ogg_int64_t total = ov_pcm_total(file.get(), -1);
    if (!uniform || total < 0) {
        ov_clear(file.get());
        if (error)
            *error = "unsupported Ogg Vorbis layout";
        return nullptr;
    }
    // The total comes from the last granule position, which a damaged or lying file may set
    // to anything (hours of audio in a few kilobytes).
    const int64_t length =
        checkedLength ? *checkedLength : decodableLength(total, [&](int64_t frame) {
            return decodesFrameAt(file.get(), frame);
        });
    if (ov_pcm_seek(file.get(), 0) != 0) {
        ov_clear(file.get());
        if (error)
            *error = "damaged Ogg Vorbis stream";
        return nullptr;
    }
    const AudioFormat format{double(first->rate), static_cast<uint32_t>(first->channels)};
    return std::unique_ptr<AudioFile>(
        new VorbisAudioFile(path, std::move(cursor), std::move(file), format, length));
}

std::unique_ptr<AudioFile> VorbisAudioFile::reopen(std::string* error) const {
    return open(path_, cursor_->fresh(), error, length_);
}

void VorbisAudioFile::setFramePosition(int64_t frame) {
    position_ = std::clamp<int64_t>(frame, 0, length_);
    // Reads fail rather than deliver audio from some other place.
    seekFailed_ = ov_pcm_seek(file_.get(), position_) != 0;
}

bool VorbisAudioFile::read(AudioPcmBuffer& buffer, int64_t frameCount) {
    buffer.setFrameLength(0);
    if (buffer.channelCount() != format_.channelCount || seekFailed_)
        return false;
    const int64_t wanted =
        std::max<int64_t>(0, std::min({frameCount, buffer.frameCapacity(), length_ - position_}));
    int64_t filled = 0;
    while (filled < wanted) {
        float** pcm = nullptr;
        int link = 0;
        const long got = ov_read_float(
            file_.get(), &pcm, static_cast<int>(std::min<int64_t>(wanted - filled, 4096)), &link);
        if (got == OV_HOLE)
            continue; // a gap in the page sequence; decoding resumes after it
        if (got < 0)
            return false;
        if (got == 0)
            break;
        for (uint32_t c = 0; c < format_.channelCount; ++c)
            std::copy(pcm[c], pcm[c] + got, buffer.channelData(c) + filled);
        filled += got;
    }
    buffer.setFrameLength(filled);
    position_ += filled;
    return true;
}

} // namespace tindrel::platform
