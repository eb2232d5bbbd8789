#include "Tindrel/store/DefaultAudioHandlerRegistrar.h"

#include "Tindrel/platform/desktop/DefaultHandlerService.h"

#include <QMimeDatabase>

#include <algorithm>

namespace tindrel {

namespace {

platform::DefaultHandlerService userDefaults() {
    return platform::DefaultHandlerService(platform::XdgLocations::fromEnvironment());
}

// The type the desktop gives a file of this extension; none for an unknown extension.
std::optional<QMimeType> mimeTypeForExtension(const QString& ext) {
    const QMimeType type = QMimeDatabase().mimeTypeForFile(QStringLiteral("file.") + ext,
                                                           QMimeDatabase::MatchExtension);
    if (!type.isValid() || type.isDefault())
        return std::nullopt;
    return type;
}

// Registers the families in one write; counts their own content types, not the extensions'.
int registerFamilies(const std::vector<AudioFormatAssociation>& families) {
    std::vector<std::string> types;
    int contentTypes = 0;
    auto add = [&types](const QString& type) {
        const std::string name = type.toStdString();
        if (std::find(types.begin(), types.end(), name) == types.end())
            types.push_back(name);
    };
    for (const AudioFormatAssociation& family : families) {
        for (const QString& type : family.utis) {
            add(type);
            if (platform::DefaultHandlerService::isWellFormedMimeType(type.toStdString()))
                ++contentTypes;
        }
        if (const std::optional<QMimeType> extType = mimeTypeForExtension(family.ext))
            add(extType->name());
    }
    const int written = userDefaults().setDefaultApplication(
        DefaultAudioHandlerRegistrar::desktopFileID().toStdString(), types);
    return written > 0 ? contentTypes : 0;
}

} // namespace

const QString& DefaultAudioHandlerRegistrar::bundleID() {
    static const QString id = QStringLiteral("com.orlimar.tindrel");
    return id;
}

const QString& DefaultAudioHandlerRegistrar::desktopFileID() {
    static const QString id = bundleID() + QStringLiteral(".desktop");
    return id;
}

const std::vector<AudioFormatAssociation>& DefaultAudioHandlerRegistrar::formatAssociations() {
    static const std::vector<AudioFormatAssociation> table{
        {"wav", "WAV / BWF (.wav)", {"audio/x-wav", "audio/wav"}},
        {"aiff", "AIFF / AIFC (.aif, .aiff)", {"audio/x-aiff", "audio/x-aifc"}},
        {"mp3", "MP3 (.mp3)", {"audio/mpeg"}},
        {"flac", "FLAC (.flac)", {"audio/flac", "audio/x-flac"}},
        {"m4a", "M4A / AAC / Opus (.m4a, .aac)", {"audio/x-m4a", "audio/mp4", "audio/aac"}},
        {"ogg",
         "OGG Vorbis / Opus (.ogg)",
         {"audio/x-vorbis+ogg", "audio/ogg", "audio/x-opus+ogg"}},
        {"caf", "CoreAudio (.caf)", {"audio/x-caf"}},
    };
    return table;
}

int DefaultAudioHandlerRegistrar::registerAllAsDefault() {
    return registerFamilies(formatAssociations());
}

void DefaultAudioHandlerRegistrar::registerFormat(const AudioFormatAssociation& association) {
    registerFamilies({association});
}

bool DefaultAudioHandlerRegistrar::isDefault(const QString& ext) {
    const std::optional<QMimeType> type = mimeTypeForExtension(ext);
    if (!type)
        return false;
    std::vector<std::string> names{type->name().toStdString()};
    for (const QString& alias : type->aliases())
        names.push_back(alias.toStdString());
    const std::optional<std::string> application = userDefaults().defaultApplication(names);
    return application && *application == desktopFileID().toStdString();
}

bool DefaultAudioHandlerRegistrar::isDefaultForWAVAndMP3() {
    return isDefault(QStringLiteral("wav")) && isDefault(QStringLiteral("mp3"));
}

} // namespace tindrel
