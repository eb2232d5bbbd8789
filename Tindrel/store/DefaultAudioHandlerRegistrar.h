#pragma once

// Makes Tindrel the user's default application for the audio formats it plays, and tells
// whether it is. The desktop file id is the bundle identifier plus ".desktop"; the defaults
// live in the user's mimeapps.list (found from HOME and the XDG_* variables at each call),
// where only Tindrel's own entries change.
//
// Static members only; main thread (they read and write a small file synchronously).

#include "Tindrel/store/AudioFormatAssociation.h"

#include <QString>

#include <vector>

namespace tindrel {

class DefaultAudioHandlerRegistrar {
public:
    DefaultAudioHandlerRegistrar() = delete;

    // "com.orlimar.tindrel".
    static const QString& bundleID();
    // "com.orlimar.tindrel.desktop".
    static const QString& desktopFileID();
    // Seven families, 14 content types, in registration order.
    static const std::vector<AudioFormatAssociation>& formatAssociations();

    // Registers every content type and every extension's type; returns how many of the 14
    // content types the desktop now opens with Tindrel, read back through the lists' order of
    // precedence (a list of higher precedence naming another program keeps that type from
    // counting). Only while Tindrel's desktop entry is installed; otherwise nothing is
    // written and the answer is 0. A list already as asked is not rewritten.
    static int registerAllAsDefault();
    // The same for one family, uncounted.
    static void registerFormat(const AudioFormatAssociation& association);
    // Whether the default application for files of this extension is Tindrel; false for an
    // extension no MIME type is known for.
    static bool isDefault(const QString& ext);
    // isDefault("wav"), and only when that holds, isDefault("mp3").
    static bool isDefaultForWAVAndMP3();
};

} // namespace tindrel
