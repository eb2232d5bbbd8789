#include "Tindrel/platform/desktop/MimeAppsList.h"

#include <gtest/gtest.h>

using tindrel::platform::MimeAppsList;

namespace {

const char* const defaults = MimeAppsList::defaultApplicationsGroup;
const char* const added = MimeAppsList::addedAssociationsGroup;

TEST(MimeAppsList, editsChangeOnlyTheirOwnLine) {
    struct Case {
        const char* name;
        std::string before;
        const char* group;
        const char* type;
        std::vector<std::string> ids;
        std::string after;
    };
    const std::vector<Case> cases{
        {"empty file gets the group",
         "",
         defaults,
         "audio/x-wav",
         {"t.desktop"},
         "[Default Applications]\naudio/x-wav=t.desktop;\n"},
        {"existing key replaced in place, comments kept",
         "# keep me\n[Default Applications]\naudio/x-wav = vlc.desktop;\nvideo/mp4=mpv.desktop;\n",
         defaults,
         "audio/x-wav",
         {"t.desktop", "vlc.desktop"},
         "# keep me\n[Default "
         "Applications]\naudio/x-wav=t.desktop;vlc.desktop;\nvideo/mp4=mpv.desktop;\n"},
        {"new key goes after the group's last entry, before the blank line",
         "[Default Applications]\nvideo/mp4=mpv.desktop;\n\n[Added "
         "Associations]\nimage/png=eog.desktop;\n",
         defaults,
         "audio/mpeg",
         {"t.desktop"},
         "[Default Applications]\nvideo/mp4=mpv.desktop;\naudio/mpeg=t.desktop;\n\n[Added "
         "Associations]\nimage/png=eog.desktop;\n"},
        {"missing group appended after a blank line",
         "[Default Applications]\nvideo/mp4=mpv.desktop;",
         added,
         "audio/flac",
         {"t.desktop"},
         "[Default Applications]\nvideo/mp4=mpv.desktop;\n\n[Added "
         "Associations]\naudio/flac=t.desktop;\n"},
        {"an empty list removes the key",
         "[Added Associations]\naudio/ogg=a.desktop;\nimage/png=b;\n",
         added,
         "audio/ogg",
         {},
         "[Added Associations]\nimage/png=b;\n"},
        {"a repeated key counts with its last line, which is the one replaced",
         "[Default Applications]\naudio/x-wav=a.desktop;\n[Default "
         "Applications]\naudio/x-wav=b.desktop;\n",
         defaults,
         "audio/x-wav",
         {"t.desktop", "b.desktop"},
         "[Default Applications]\naudio/x-wav=a.desktop;\n[Default "
         "Applications]\naudio/x-wav=t.desktop;b.desktop;\n"},
        {"an empty list removes every line of a repeated key",
         "[Added Associations]\naudio/ogg=a.desktop;\naudio/ogg=t.desktop;\nimage/png=b;\n",
         added,
         "audio/ogg",
         {},
         "[Added Associations]\nimage/png=b;\n"},
        {"same key in another group untouched",
         "[Added Associations]\naudio/x-wav=vlc.desktop;\n",
         defaults,
         "audio/x-wav",
         {"t.desktop"},
         "[Added Associations]\naudio/x-wav=vlc.desktop;\n\n[Default "
         "Applications]\naudio/x-wav=t.desktop;\n"},
    };
    for (const Case& c : cases) {
        MimeAppsList list(c.before);
        list.setApplications(c.group, c.type, c.ids);
        EXPECT_EQ(list.text(), c.after) << c.name;
        EXPECT_EQ(MimeAppsList(list.text()).applications(c.group, c.type), c.ids) << c.name;
    }
}

TEST(MimeAppsList, readsListsLeniently) {
    const MimeAppsList list("[Default Applications]\r\n audio/mpeg = a.desktop ; ;b.desktop\r\n"
                            "#audio/flac=commented.desktop;\n[Other]\naudio/flac=c.desktop;\n");
    EXPECT_EQ(list.applications(defaults, "audio/mpeg"),
              (std::vector<std::string>{"a.desktop", "b.desktop"}));
    EXPECT_TRUE(list.applications(defaults, "audio/flac").empty());
    EXPECT_TRUE(list.applications(added, "audio/mpeg").empty());
    // Text the edits did not touch comes back byte for byte.
    EXPECT_EQ(list.text(), "[Default Applications]\r\n audio/mpeg = a.desktop ; ;b.desktop\r\n"
                           "#audio/flac=commented.desktop;\n[Other]\naudio/flac=c.desktop;\n");
}

} // namespace
