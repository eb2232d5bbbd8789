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

// Whether the desktop, reading its lists in their precedence, opens this type with Tindrel.
// A list may name the type by any of its names: the one given, the canonical one, an alias.
bool namesTindrel(const platform::DefaultHandlerService& service, const QString& typeName) {
    std::vector<std::string> names{typeName.toStdString()};
    const QMimeType type = QMimeDatabase().mimeTypeForName(typeName);
    if (type.isValid()) {
        for (QString name : QStringList{type.name()} + type.aliases()) {
            if (name != typeName)
                names.push_back(name.toStdString());
        }
    }
    const std::optional<std::string> application = service.defaultApplication(names);
    return application &&
           *application == DefaultAudioHandlerRegistrar::desktopFileID().toStdString();
}

// Registers the families in one write and counts their own content types (not the
// extensions') that the desktop now opens with Tindrel. Without Tindrel's desktop entry the
// desktop would pass over every line written, so nothing is written.
int registerFamilies(const std::vector<AudioFormatAssociation>& families) {
    platform::DefaultHandlerService service = userDefaults();
    const std::string ourID = DefaultAudioHandlerRegistrar::desktopFileID().toStdString();
    if (!service.isInstalled(ourID))
        return 0;

    std::vector<std::string> types;
    auto add = [&types](const QString& type) {
        const std::string name = type.toStdString();
        if (std::find(types.begin(), types.end(), name) == types.end())
            types.push_back(name);
    };
    for (const AudioFormatAssociation& family : families) {
        for (const QString& type : family.utis)
            add(type);
        if (const std::optional<QMimeType> extType = mimeTypeForExtension(family.ext))
            add(extType->name());
    }
    service.setDefaultApplication(ourID, types);

    int accepted = 0;
    for (const AudioFormatAssociation& family : families) {
        for (const QString& type : family.utis) {
            if (platform::DefaultHandlerService::isWellFormedMimeType(type.toStdString()) &&
                namesTindrel(service, type))
                ++accepted;
        }
    }
    return accepted;
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
    return type && namesTindrel(userDefaults(), type->name());
}

bool DefaultAudioHandlerRegistrar::isDefaultForWAVAndMP3() {
    return isDefault(QStringLiteral("wav")) && isDefault(QStringLiteral("mp3"));
}

} // namespace tindrel
