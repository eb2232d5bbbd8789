#include "Tindrel/store/RenameRules.h"

#include <gtest/gtest.h>

TEST(RenameRules, draftBecomesTheNewName) {
    struct Case {
        const char* draft;
        const char* oldName;
        std::optional<QString> expected;
    };
    const Case cases[] = {
        {"  Live Take  ", "Take.wav", "Live Take.wav"},
        {"\n\tLive\n", "Take.wav", "Live.wav"},
        {"a/b:c", "x.wav", "a-b-c.wav"},
        {"Song.WAV", "x.wav", "Song.WAV"},     // typed extension kept as typed
        {"Song.mp3", "x.wav", "Song.mp3.wav"}, // the extension never changes
        {"Song", "x.WAV", "Song.WAV"},         // added in the old file's letter case
        {"New", "README", "New"},              // no extension
        {"Take.3", "Take.2.flac", "Take.3.flac"},
        {"New", ".hidden", "New"},
        {"   ", "x.wav", std::nullopt},
        {"", "x.wav", std::nullopt},
    };
    EXPECT_EQ(tindrel::renamedFileName(QString("a") + QChar(u'\0') + "b", "x.wav"), "a-b.wav");
    for (const Case& c : cases)
        EXPECT_EQ(tindrel::renamedFileName(QString::fromUtf8(c.draft), c.oldName), c.expected)
            << c.draft;

    EXPECT_EQ(tindrel::fileNameBase("Take 3.aif"), "Take 3");
    EXPECT_EQ(tindrel::fileNameBase("Take.2.flac"), "Take.2");
    EXPECT_EQ(tindrel::fileNameBase(".hidden"), ".hidden");
    EXPECT_EQ(tindrel::fileNameBase("README"), "README");
}
