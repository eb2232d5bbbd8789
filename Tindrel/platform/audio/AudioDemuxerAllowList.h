#pragma once

// The containers the FFmpeg decoders may open, in FFmpeg's demuxer names: single-file audio
// containers and the usual carriers of audio. Playlist, concatenation, image-sequence and
// device demuxers are left out, since they open further files or block on them.

namespace tindrel::platform {

inline constexpr const char* audioDemuxerAllowList =
    "aac,ac3,aiff,amr,ape,asf,au,avi,caf,dsf,dts,dtshd,eac3,flac,flv,loas,matroska,mlp,mov,mp3,"
    "mpc,mpc8,mpeg,mpegts,ogg,oma,shn,tak,truehd,tta,voc,w64,wav,wv,xwma";

// The only protocol they may use.
inline constexpr const char* audioProtocolAllowList = "file";

} // namespace tindrel::platform
