// The settings popover against a sandboxed desktop: its rows show what the desktop would
// open each format with, read back after every action.

#include "Tindrel/shell/TindrelSettingsPopover.h"

#include "Tindrel/mainwindow/ChipButton.h"
#include "Tindrel/store/DefaultAudioHandlerRegistrar.h"
#include "tests/store_support/StoreTestRig.h"

#include <gtest/gtest.h>

using namespace tindrel;
using tindrel::test::StoreTestRig;

namespace {

// 'D' for a row showing "Default", '-' for one offering "Make Default".
std::string rowStates(const TindrelSettingsPopover& popover) {
    std::string states;
    for (size_t i = 0; i < popover.rowCount(); ++i)
        states += popover.showsDefault(i) ? 'D' : '-';
    return states;
}

size_t rowOf(const char* ext) {
    const auto& rows = DefaultAudioHandlerRegistrar::formatAssociations();
    return size_t(
        std::find_if(rows.begin(), rows.end(), [&](const auto& r) { return r.ext == ext; }) -
        rows.begin());
}

TEST(TindrelSettingsPopover, RowsFlipToDefaultOnlyWhenTheDesktopNowOpensTheFormatWithUs) {
    for (const bool installed : {false, true}) {
        SCOPED_TRACE(installed ? "desktop entry installed" : "desktop entry missing");
        StoreTestRig rig(StoreTestRig::Desktop::sandboxed);
        if (installed)
            rig.desktop().installDesktopFile(
                DefaultAudioHandlerRegistrar::desktopFileID().toStdString());
        TindrelSettingsPopover popover(rig.store());
        EXPECT_EQ(popover.width(), 340);
        ASSERT_EQ(popover.rowCount(), 7u);
        EXPECT_EQ(rowStates(popover), "-------");

        popover.makeDefaultButton(rowOf("mp3")).click();
        EXPECT_EQ(rowStates(popover), installed ? "--D----" : "-------");

        popover.setAllDefaultButton().click();
        // The .caf row can flip only where the MIME database knows the extension.
        const char caf = DefaultAudioHandlerRegistrar::isDefault("caf") ? 'D' : '-';
        EXPECT_EQ(rowStates(popover), installed ? std::string("DDDDDD") + caf : "-------");
        EXPECT_EQ(rig.store().statusBanner.get(),
                  installed ? "Set Tindrel as default audio player (14 MIME type handlers)"
                            : "Set Tindrel as default audio player (0 MIME type handlers)");

        // A new popover (the next opening) reads the desktop's present state.
        std::filesystem::remove(rig.desktop().configHome() / "mimeapps.list");
        EXPECT_EQ(rowStates(TindrelSettingsPopover(rig.store())), "-------");
    }
}

} // namespace
