#include "Tindrel/mainwindow/TitleLine.h"
#include "Tindrel/mainwindow/ChipButton.h"
#include "Tindrel/mainwindow/ElidedLabel.h"
#include "tests/store_support/StoreTestRig.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace tindrel;

namespace {

class Title : public testing::Test {
protected:
    Title() : line(rig.store()) {
        line.resize(821, 32);
        line.show();
    }

    test::StoreTestRig rig;
    TitleLine line;
};

} // namespace

TEST_F(Title, ShowsTheNameAndThePlayheadOverTheLength) {
    rig.loadTone("song.wav", 3.0);
    EXPECT_EQ(line.fileName().text(), QStringLiteral("song.wav"));
    EXPECT_EQ(line.timeReadout().text(), QStringLiteral("0:00.0 / 0:03.0"));
    // "Rename" follows a short name at 8 points; the spare width lies before the readout.
    QApplication::processEvents();
    const QPoint nameAt = line.fileName().mapTo(&line, QPoint());
    EXPECT_EQ(line.renameButton().mapTo(&line, QPoint()).x(),
              nameAt.x() + line.fileName().sizeHint().width() + 8);
    rig.play(1.0);
    EXPECT_TRUE(line.timeReadout().text().endsWith(QStringLiteral(" / 0:03.0")));
    EXPECT_NE(line.timeReadout().text(), QStringLiteral("0:00.0 / 0:03.0"));

    // A name longer than the room is cut in the middle; the readout keeps its full width.
    const std::string longName = std::string(120, 'n') + "_end.wav";
    rig.loadTone(longName, 1.0);
    QApplication::processEvents();
    EXPECT_TRUE(line.fileName().isTruncated());
    EXPECT_TRUE(line.fileName().displayedText().endsWith(QStringLiteral("_end.wav")));
    EXPECT_EQ(line.timeReadout().width(), line.timeReadout().sizeHint().width());
}

TEST_F(Title, RenameEditorOpensCancelsAndCommitsThroughTheStore) {
    const auto original = rig.loadTone("take.wav");
    EXPECT_FALSE(line.isEditorShown());

    QTest::mouseClick(&line.renameButton(), Qt::LeftButton);
    ASSERT_TRUE(line.isEditorShown());
    EXPECT_EQ(line.nameField().text(), QStringLiteral("take"));
    EXPECT_EQ(line.extensionLabel().text(), QStringLiteral(".wav"));

    // Cancel keeps the typed draft in the store but renames nothing.
    line.nameField().selectAll();
    QTest::keyClicks(&line.nameField(), QStringLiteral("abandoned"));
    EXPECT_EQ(rig.store().renameDraftText.get(), QStringLiteral("abandoned"));
    QTest::mouseClick(&line.cancelButton(), Qt::LeftButton);
    EXPECT_FALSE(line.isEditorShown());
    EXPECT_TRUE(std::filesystem::exists(original));

    // Opening again shows the current name, and Return commits the new one.
    QTest::mouseClick(&line.renameButton(), Qt::LeftButton);
    EXPECT_EQ(line.nameField().text(), QStringLiteral("take"));
    line.nameField().selectAll();
    QTest::keyClicks(&line.nameField(), QStringLiteral("final"));
    QTest::keyClick(&line.nameField(), Qt::Key_Return);
    EXPECT_FALSE(line.isEditorShown());
    EXPECT_EQ(line.fileName().text(), QStringLiteral("final.wav"));
    EXPECT_TRUE(std::filesystem::exists(original.parent_path() / "final.wav"));
}

TEST_F(Title, TheNameFieldTakesUpTo380PointsAndShrinksOnlyWhenSpaceIsShort) {
    rig.loadTone("take.wav");
    rig.store().beginRenameCurrentFile();
    for (const auto& [lineWidth, fieldWidth] : {std::pair{821, 380}, std::pair{420, 0}}) {
        line.resize(lineWidth, 32);
        QApplication::processEvents();
        if (fieldWidth > 0)
            EXPECT_EQ(line.nameField().width(), fieldWidth) << lineWidth;
        else
            EXPECT_LT(line.nameField().width(), 380) << lineWidth;
        // Save, Cancel and the readout stay whole.
        EXPECT_EQ(line.saveButton().width(), line.saveButton().sizeHint().width()) << lineWidth;
        EXPECT_EQ(line.timeReadout().width(), line.timeReadout().sizeHint().width()) << lineWidth;
    }
}
