// The one symbol the transcoder module exports: AudioTranscoder::transcodeToWav, which
// TranscoderModule finds by this plain name.

#include "Tindrel/platform/audio/TranscoderModule.h"

extern "C" __attribute__((visibility("default")))
const tindrel::platform::TranscoderModule::TranscodeToWav tindrel_transcodeToWav =
    &tindrel::platform::AudioTranscoder::transcodeToWav;
