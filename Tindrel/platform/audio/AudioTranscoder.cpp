#include "Tindrel/platform/audio/AudioTranscoder.h"

#include "Tindrel/platform/audio/AudioDemuxerAllowList.h"
#include "Tindrel/platform/audio/SupportedSampleRates.h"
#include "Tindrel/platform/files/FileDescriptor.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

namespace tindrel::platform {
namespace {

constexpr int ioBufferSize = 64 * 1024;

int readFromDescriptor(void* opaque, uint8_t* buffer, int size) {
    const int fd = *static_cast<int*>(opaque);
    for (;;) {
        const ssize_t got = ::read(fd, buffer, static_cast<size_t>(size));
        if (got > 0)
            return static_cast<int>(got);
        if (got == 0)
            return AVERROR_EOF;
        if (errno != EINTR)
            return AVERROR(errno);
    }
}

int64_t seekDescriptor(void* opaque, int64_t offset, int whence) {
    const int fd = *static_cast<int*>(opaque);
    if (whence & AVSEEK_SIZE) {
        struct stat info {};
        return ::fstat(fd, &info) == 0 ? int64_t(info.st_size) : AVERROR(errno);
    }
    const off_t at = ::lseek(fd, offset, whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : int64_t(at);
}

// The demuxer reads through our own descriptor, opened as a regular file only.
struct Input {
    FileDescriptor file;
    int fd = -1;
    AVIOContext* io = nullptr;
    AVFormatContext* format = nullptr;
    ~Input() {
        avformat_close_input(&format);
        if (io)
            av_freep(&io->buffer);
        avio_context_free(&io);
    }
};

struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct ResamplerDeleter {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct SndfileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};

bool fail(std::string* error, const std::string& text) {
    if (error)
        *error = text;
    return false;
}

bool openInput(const std::filesystem::path& source, Input& input, std::string* error) {
    input.file = FileDescriptor::openRegularForReading(source, error);
    if (!input.file.valid())
        return false;
    input.fd = input.file.get();
    auto* buffer = static_cast<uint8_t*>(av_malloc(ioBufferSize));
    if (!buffer)
        return fail(error, "out of memory");
    input.io = avio_alloc_context(buffer, ioBufferSize, 0, &input.fd, readFromDescriptor, nullptr,
                                  seekDescriptor);
    if (!input.io) {
        av_free(buffer);
        return fail(error, "out of memory");
    }
    input.format = avformat_alloc_context();
    if (!input.format)
        return fail(error, "out of memory");
    input.format->pb = input.io;
    input.format->flags |= AVFMT_FLAG_CUSTOM_IO;
    // A playlist or concatenation list would open the files it names, a FIFO among them.
    input.format->format_whitelist = av_strdup(audioDemuxerAllowList);
    input.format->protocol_whitelist = av_strdup(audioProtocolAllowList);
    if (!input.format->format_whitelist || !input.format->protocol_whitelist)
        return fail(error, "out of memory");
    if (avformat_open_input(&input.format, nullptr, nullptr, nullptr) < 0) {
        return fail(error, "unrecognised container"); // the context is freed on failure
    }
    if (avformat_find_stream_info(input.format, nullptr) < 0)
        return fail(error, "no stream info");
    return true;
}

// Frames at `rate` that the MP4 family's header states for the stream, or the largest value
// when it states none; other containers are trusted as decoded.
int64_t statedFrames(const AVFormatContext* format, const AVStream* stream, int rate) {
    constexpr int64_t unlimited = std::numeric_limits<int64_t>::max();
    if (!std::strstr(format->iformat->name, "mp4") && !std::strstr(format->iformat->name, "mov"))
        return unlimited;
    if (stream->duration == AV_NOPTS_VALUE || stream->duration <= 0)
        return unlimited;
    return av_rescale_q(stream->duration, stream->time_base, AVRational{1, rate});
}

constexpr int64_t bytesPerFrame = AudioTranscoder::bytesPerFrame;
constexpr int64_t wavFrameCapacity = AudioTranscoder::wavFrameCapacity;

// The most output frames the source can honestly decode to: the length its container states
// (when not merely guessed from a bit rate) with room for codec padding, or the bound from its
// size, whichever is more, and never more than the WAV holds. A decoder past it is misreading
// a damaged or hostile stream.
int64_t decodedFrameCeiling(const AVFormatContext* format, int64_t sourceBytes) {
    double seconds = AudioTranscoder::secondsBoundBySize(sourceBytes);
    if (format->duration != AV_NOPTS_VALUE && format->duration > 0 &&
        format->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE)
        seconds = std::max(seconds, 1.25 * double(format->duration) / AV_TIME_BASE);
    return int64_t(std::min(seconds * AudioTranscoder::outputSampleRate, double(wavFrameCapacity)));
}

// Output frames the container's own length asks for, or 0 when it states none it can stand by.
int64_t statedOutputFrames(const AVFormatContext* format) {
    if (format->duration == AV_NOPTS_VALUE || format->duration <= 0 ||
        format->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE)
        return 0;
    return av_rescale(format->duration, AudioTranscoder::outputSampleRate, AV_TIME_BASE);
}

bool isOutOfRoom(int code) {
    return code == ENOSPC || code == EDQUOT || code == EFBIG;
}

class WavSink {
public:
    WavSink(SNDFILE* file, int64_t limit, int64_t ceiling, int64_t room)
        : file_(file), limit_(limit), ceiling_(ceiling), room_(room) {}

    // Writes interleaved stereo, up to the stated limit; fails rather than pass the ceiling
    // or the room.
    bool write(const int16_t* samples, int64_t frames) {
        frames = std::min(frames, limit_ - written_);
        if (frames <= 0)
            return true;
        if (frames > ceiling_ - written_) {
            overflowed_ = true;
            return false;
        }
        if (frames > room_ - written_) {
            outOfRoom_ = true;
            return false;
        }
        errno = 0;
        if (sf_writef_short(file_, samples, frames) != frames) {
            outOfRoom_ = isOutOfRoom(errno);
            return false;
        }
        written_ += frames;
        return true;
    }
    int64_t written() const { return written_; }
    bool overflowed() const { return overflowed_; }
    bool outOfRoom() const { return outOfRoom_; }

private:
    SNDFILE* file_;
    int64_t limit_;
    int64_t ceiling_;
    int64_t room_;
    int64_t written_ = 0;
    bool overflowed_ = false;
    bool outOfRoom_ = false;
};

// Resamples decoded frames to the output rate as 16-bit stereo. The resampler is set up from
// each frame's own layout, sample format and rate, and set up again (after draining what it
// holds) whenever a frame differs: a chained or damaged stream may change them mid-way.
class Converter {
public:
    explicit Converter(WavSink& sink) : sink_(sink) {}

    // Resamples one decoded frame (or flushes the resampler when `frame` is null).
    bool push(const AVFrame* frame) {
        if (frame && !matches(*frame) && !(flush() && configure(*frame)))
            return false;
        if (!resampler_)
            return true;
        const int inputFrames = frame ? frame->nb_samples : 0;
        const int capacity = swr_get_out_samples(resampler_.get(), inputFrames);
        if (capacity < 0)
            return false;
        if (capacity == 0)
            return true;
        resampled_.resize(static_cast<size_t>(capacity * resampledChannels_));
        uint8_t* out[] = {reinterpret_cast<uint8_t*>(resampled_.data())};
        const int got = swr_convert(
            resampler_.get(), out, capacity,
            frame ? const_cast<const uint8_t**>(frame->extended_data) : nullptr, inputFrames);
        if (got < 0)
            return false;
        if (resampledChannels_ == AudioTranscoder::outputChannels)
            return sink_.write(resampled_.data(), got);
        stereo_.resize(static_cast<size_t>(got) * 2);
        for (int i = 0; i < got; ++i)
            stereo_[size_t(2 * i)] = stereo_[size_t(2 * i + 1)] = resampled_[size_t(i)];
        return sink_.write(stereo_.data(), got);
    }

    ~Converter() { av_channel_layout_uninit(&inputLayout_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

private:
    bool matches(const AVFrame& frame) const {
        return resampler_ && frame.format == inputFormat_ && frame.sample_rate == inputRate_ &&
               av_channel_layout_compare(&frame.ch_layout, &inputLayout_) == 0;
    }

    bool flush() { return !resampler_ || push(nullptr); }

    bool configure(const AVFrame& frame) {
        resampler_.reset();
        av_channel_layout_uninit(&inputLayout_);
        if (!isSupportedSampleRate(frame.sample_rate) || frame.ch_layout.nb_channels <= 0 ||
            frame.format < 0)
            return false;
        if (av_channel_layout_copy(&inputLayout_, &frame.ch_layout) < 0)
            return false;
        inputFormat_ = frame.format;
        inputRate_ = frame.sample_rate;
        AVChannelLayout layout{};
        if (inputLayout_.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&layout, inputLayout_.nb_channels);
        else
            av_channel_layout_copy(&layout, &inputLayout_);
        // Mono is resampled as one channel and copied to both sides at full level.
        resampledChannels_ = layout.nb_channels == 1 ? 1 : AudioTranscoder::outputChannels;
        AVChannelLayout outputLayout{};
        av_channel_layout_default(&outputLayout, resampledChannels_);
        SwrContext* raw = nullptr;
        const int configured = swr_alloc_set_opts2(
            &raw, &outputLayout, AV_SAMPLE_FMT_S16, AudioTranscoder::outputSampleRate, &layout,
            static_cast<AVSampleFormat>(inputFormat_), inputRate_, 0, nullptr);
        av_channel_layout_uninit(&layout);
        av_channel_layout_uninit(&outputLayout);
        resampler_.reset(raw);
        if (configured < 0 || swr_init(resampler_.get()) < 0) {
            resampler_.reset();
            return false;
        }
        return true;
    }

    WavSink& sink_;
    std::unique_ptr<SwrContext, ResamplerDeleter> resampler_;
    AVChannelLayout inputLayout_{};
    int inputFormat_ = -1;
    int inputRate_ = 0;
    int resampledChannels_ = AudioTranscoder::outputChannels;
    std::vector<int16_t> resampled_;
    std::vector<int16_t> stereo_;
};

// Receives every frame the decoder has ready. False on a hard decoder failure.
bool drainDecoder(AVCodecContext* decoder, AVFrame* frame, Converter& converter) {
    for (;;) {
        const int received = avcodec_receive_frame(decoder, frame);
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
            return true;
        if (received == AVERROR_INVALIDDATA)
            continue;
        if (received < 0)
            return false;
        const bool pushed = converter.push(frame);
        av_frame_unref(frame);
        if (!pushed)
            return false;
    }
}

using Outcome = AudioTranscoder::Outcome;

Outcome failWith(std::string* error, const std::string& text, Outcome outcome = Outcome::failed) {
    fail(error, text);
    return outcome;
}

constexpr const char* noRoomText = "not enough free space for the decoded audio";

Outcome decodingFailure(const WavSink& sink, std::string* error) {
    if (sink.outOfRoom())
        return failWith(error, noRoomText, Outcome::noRoom);
    return failWith(error, sink.overflowed()
                               ? "the decoded audio is longer than the source can hold"
                               : "decoding failed");
}

} // namespace

AudioTranscoder::Outcome AudioTranscoder::transcodeToWav(const std::filesystem::path& source,
                                                         int destination, int64_t byteBudget,
                                                         WorkHeartbeat& heartbeat,
                                                         std::string* error) {
    // Errors come back to the caller; the libraries must not print them.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    Input input;
    if (!openInput(source, input, error))
        return Outcome::failed;
    // Loading the libraries and probing the source take a while on a busy machine.
    if (!heartbeat.keepGoing())
        return failWith(error, "stopped", Outcome::stopped);

    const AVStream* stream = nullptr;
    for (unsigned i = 0; i < input.format->nb_streams && !stream; ++i) {
        if (input.format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            stream = input.format->streams[i];
    }
    if (!stream)
        return failWith(error, "no audio stream");
    for (unsigned i = 0; i < input.format->nb_streams; ++i) {
        if (input.format->streams[i] != stream)
            input.format->streams[i]->discard = AVDISCARD_ALL;
    }

    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec)
        return failWith(error, "no decoder for the audio stream");
    std::unique_ptr<AVCodecContext, CodecContextDeleter> decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0)
        return failWith(error, "decoder set-up failed");
    decoder->pkt_timebase = stream->time_base;
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return failWith(error, "decoder set-up failed");
    if (!heartbeat.keepGoing())
        return failWith(error, "stopped", Outcome::stopped);
    if (decoder->ch_layout.nb_channels <= 0)
        return failWith(error, "audio stream without channels");
    if (!isSupportedSampleRate(decoder->sample_rate))
        return failWith(error, "unsupported sample rate");

    // A source whose stated length cannot fit is refused before a byte is written.
    const int64_t roomFrames = std::max<int64_t>(0, byteBudget - wavOverheadBytes) / bytesPerFrame;
    if (statedOutputFrames(input.format) > roomFrames)
        return failWith(error, noRoomText, Outcome::noRoom);

    SF_INFO info{};
    info.samplerate = outputSampleRate;
    info.channels = outputChannels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    std::unique_ptr<SNDFILE, SndfileCloser> wav(
        sf_open_fd(destination, SFM_WRITE, &info, SF_FALSE));
    if (!wav)
        return failWith(error, sf_strerror(nullptr));

    const int64_t stated = statedFrames(input.format, stream, decoder->sample_rate);
    const int64_t limit = stated == std::numeric_limits<int64_t>::max()
                              ? stated
                              : av_rescale(stated, outputSampleRate, decoder->sample_rate);
    WavSink sink(wav.get(), limit, decodedFrameCeiling(input.format, avio_size(input.io)),
                 roomFrames);
    Converter converter(sink);

    std::unique_ptr<AVPacket, PacketDeleter> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameDeleter> frame(av_frame_alloc());
    if (!packet || !frame)
        return failWith(error, "out of memory");
    int readStatus = 0;
    const int64_t sourceBytes = avio_size(input.io);
    while ((readStatus = av_read_frame(input.format, packet.get())) >= 0) {
        if (sourceBytes > 0)
            heartbeat.reportProgress(double(avio_tell(input.io)) / double(sourceBytes));
        if (!heartbeat.keepGoing()) {
            av_packet_unref(packet.get());
            return failWith(error, "stopped", Outcome::stopped);
        }
        if (packet->stream_index == stream->index) {
            // A packet cut short by the end of the file or a read error.
            if (packet->flags & AV_PKT_FLAG_CORRUPT) {
                av_packet_unref(packet.get());
                return failWith(error, "the source ends in the middle of its audio");
            }
            const int sent = avcodec_send_packet(decoder.get(), packet.get());
            if (sent < 0 && sent != AVERROR_INVALIDDATA) {
                av_packet_unref(packet.get());
                return failWith(error, "decoding failed");
            }
            if (!drainDecoder(decoder.get(), frame.get(), converter)) {
                av_packet_unref(packet.get());
                return decodingFailure(sink, error);
            }
        }
        av_packet_unref(packet.get());
    }
    if (readStatus != AVERROR_EOF || input.io->error < 0)
        return failWith(error, "read error in the source");
    avcodec_send_packet(decoder.get(), nullptr);
    if (!drainDecoder(decoder.get(), frame.get(), converter) || !converter.push(nullptr))
        return decodingFailure(sink, error);
    if (sink.written() == 0)
        return failWith(error, "the audio stream is empty");
    // Whole packets missing at the end of an MP4: more than one codec frame short.
    if (limit != std::numeric_limits<int64_t>::max() &&
        sink.written() < limit - 2 * 1024 * outputSampleRate / decoder->sample_rate)
        return failWith(error, "the source ends before its stated length");
    errno = 0;
    const int closed = sf_close(wav.release());
    if (closed != 0)
        return failWith(error, sf_error_number(closed),
                        isOutOfRoom(errno) ? Outcome::noRoom : Outcome::failed);
    return Outcome::written;
}

} // namespace tindrel::platform
