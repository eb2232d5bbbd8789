#include "Tindrel/shell/KeyShortcutFilter.h"
#include "Tindrel/mainwindow/TitleLine.h"
#include "tests/store_support/StoreTestRig.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <functional>

using namespace tindrel;

namespace {

// Counts the key presses that get through to the object it watches.
class KeyWitness : public QObject {
public:
    int pressesSeen = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        pressesSeen += event->type() == QEvent::KeyPress;
        return false;
    }
};

// The real table on the application, over a window with the rename line and a second text
// field (standing for the crate's filter), on a store with a.wav, b.wav (30 s) and c.wav.
class Keys : public testing::Test {
protected:
    Keys() : filter(rig.store(), [this] { ++terminations; }), title(new TitleLine(rig.store())) {
        qApp->installEventFilter(&filter);
        auto* column = new QVBoxLayout(&window);
        column->addWidget(title);
        column->addWidget(field);
        window.resize(800, 120);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        // Activation hands the focus to the first field; the program's window takes it back.
        field->clearFocus();
        rig.writeTone("a.wav", 1.0);
        rig.writeTone("c.wav", 1.0);
        b = rig.writeTone("b.wav", 30.0);
    }

    TindrelStore& store() { return rig.store(); }

    // b.wav paused at 12 s, pitch +3, zoom 1.5x, transients every 5 s, no range, no loop.
    void prepare() {
        store().loadAndPlay(b, false);
        rig.setTransients({5, 10, 15, 20});
        store().seek(12, false);
        store().setPitchSemitones(3);
        store().zoomInWaveform();
        store().isLoopEnabled = false;
    }

    // Sends one press to `target` (the window by default); true when the table consumed it.
    bool press(quint32 scanCode, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
               QWidget* target = nullptr) {
        target = target ? target : &window;
        KeyWitness witness;
        target->installEventFilter(&witness);
        QKeyEvent event(QEvent::KeyPress, key, modifiers, scanCode, 0, 0);
        QApplication::sendEvent(target, &event);
        target->removeEventFilter(&witness);
        return witness.pressesSeen == 0;
    }

    std::string current() { return store().currentURL.get()->filename().string(); }
    double time() { return store().currentTime.get(); }

    test::StoreTestRig rig;
    int terminations = 0;
    KeyShortcutFilter filter;
    QWidget window;
    TitleLine* title;
    QLineEdit* field = new QLineEdit(&window);
    std::filesystem::path b;
};

} // namespace

TEST_F(Keys, EveryRowOfTheTableByScanCodeAndByQtKey) {
    const auto shift = Qt::ShiftModifier;
    const auto ctrl = Qt::ControlModifier;
    const auto alt = Qt::AltModifier;
    struct Row {
        const char* name;
        quint32 scanCode;
        int key;
        Qt::KeyboardModifiers modifiers;
        bool consumed;
        std::function<void()> check;
    };
    const Row rows[] = {
        {"Space plays", 65, Qt::Key_Space, {}, true, [&] { EXPECT_TRUE(store().isPlaying.get()); }},
        {"Return to start", 36, Qt::Key_Return, {}, true, [&] { EXPECT_EQ(time(), 0); }},
        {"Left", 113, Qt::Key_Left, {}, true, [&] { EXPECT_NEAR(time(), 10, 1e-6); }},
        {"Shift+Left", 113, Qt::Key_Left, shift, true, [&] { EXPECT_NEAR(time(), 2, 1e-6); }},
        {"Ctrl+Left ignores Ctrl", 113, Qt::Key_Left, ctrl, true,
         [&] { EXPECT_NEAR(time(), 10, 1e-6); }},
        {"Ctrl+Shift+Left", 113, Qt::Key_Left, ctrl | shift, true,
         [&] { EXPECT_NEAR(time(), 2, 1e-6); }},
        {"Right", 114, Qt::Key_Right, {}, true, [&] { EXPECT_NEAR(time(), 14, 1e-6); }},
        {"Shift+Right", 114, Qt::Key_Right, shift, true, [&] { EXPECT_NEAR(time(), 22, 1e-6); }},
        {"Up", 111, Qt::Key_Up, {}, true, [&] { EXPECT_EQ(current(), "a.wav"); }},
        {"Down", 116, Qt::Key_Down, {}, true, [&] { EXPECT_EQ(current(), "c.wav"); }},
        {"minus",
         20,
         Qt::Key_Minus,
         {},
         true,
         [&] { EXPECT_FLOAT_EQ(store().pitchSemitones.get(), 2); }},
        {"equals",
         21,
         Qt::Key_Equal,
         {},
         true,
         [&] { EXPECT_FLOAT_EQ(store().pitchSemitones.get(), 4); }},
        {"zero",
         19,
         Qt::Key_0,
         {},
         true,
         [&] { EXPECT_FLOAT_EQ(store().pitchSemitones.get(), 0); }},
        {"I", 31, Qt::Key_I, {}, true, [&] { EXPECT_EQ(store().loopIn.get(), 12.0); }},
        {"O", 32, Qt::Key_O, {}, true, [&] { EXPECT_EQ(store().loopOut.get(), 12.0); }},
        {"L", 46, Qt::Key_L, {}, true, [&] { EXPECT_TRUE(store().isLoopEnabled.get()); }},
        {"R zooms out",
         27,
         Qt::Key_R,
         {},
         true,
         [&] { EXPECT_DOUBLE_EQ(store().waveformZoom.get(), 1.0); }},
        {"Ctrl+R passes", 27, Qt::Key_R, ctrl, false,
         [&] { EXPECT_DOUBLE_EQ(store().waveformZoom.get(), 1.5); }},
        {"T zooms in",
         28,
         Qt::Key_T,
         {},
         true,
         [&] { EXPECT_DOUBLE_EQ(store().waveformZoom.get(), 2.25); }},
        {"Ctrl+T passes", 28, Qt::Key_T, ctrl, false,
         [&] { EXPECT_DOUBLE_EQ(store().waveformZoom.get(), 1.5); }},
        {"Tab",
         23,
         Qt::Key_Tab,
         {},
         true,
         [&] {
             EXPECT_NEAR(time(), 15, 1e-6);
             EXPECT_FALSE(store().hasActiveRange());
         }},
        {"Shift+Tab", 23, Qt::Key_Backtab, shift, true,
         [&] {
             EXPECT_NEAR(time(), 10, 1e-6);
             EXPECT_FALSE(store().hasActiveRange());
         }},
        {"Ctrl+Tab extends", 23, Qt::Key_Tab, ctrl, true,
         [&] {
             EXPECT_NEAR(time(), 15, 1e-6);
             EXPECT_EQ(store().loopIn.get(), 12.0);
             EXPECT_EQ(store().loopOut.get(), 15.0);
         }},
        {"Alt+Tab extends", 23, Qt::Key_Tab, alt, true,
         [&] { EXPECT_EQ(store().loopOut.get(), 15.0); }},
        {"Ctrl+Shift+Tab extends", 23, Qt::Key_Backtab, ctrl | shift, true,
         [&] {
             EXPECT_NEAR(time(), 10, 1e-6);
             EXPECT_TRUE(store().hasActiveRange());
         }},
        {"Ctrl+C copies", 54, Qt::Key_C, ctrl, true,
         [&] { EXPECT_EQ(rig.clipboard().copies.size(), 1u); }},
        {"Ctrl+W quits", 25, Qt::Key_W, ctrl, true, [&] { EXPECT_EQ(terminations, 1); }},
        {"Ctrl+Q quits", 24, Qt::Key_Q, ctrl, true, [&] { EXPECT_EQ(terminations, 1); }},
        {"Ctrl+Shift+W passes", 25, Qt::Key_W, ctrl | shift, false,
         [&] { EXPECT_EQ(terminations, 0); }},
        {"Escape with nothing to end",
         9,
         Qt::Key_Escape,
         {},
         true,
         [&] { EXPECT_NEAR(time(), 12, 1e-6); }},
        {"F passes untouched",
         41,
         Qt::Key_F,
         {},
         false,
         [&] {
             EXPECT_NEAR(time(), 12, 1e-6);
             EXPECT_FALSE(store().isPlaying.get());
         }},
    };
    for (const bool withScanCode : {true, false})
        for (const Row& row : rows) {
            SCOPED_TRACE(testing::Message() << row.name << (withScanCode ? "" : ", no scan code"));
            prepare();
            terminations = 0;
            rig.clipboard().copies.clear();
            EXPECT_EQ(press(withScanCode ? row.scanCode : 0, row.key, row.modifiers), row.consumed);
            row.check();
        }
}

TEST_F(Keys, ScanCodesFollowTheKeysPlaceNotItsCharacter) {
    prepare();
    // The key right of zero on a German layout is ß: by its place it is still "minus".
    EXPECT_TRUE(press(20, Qt::Key_ssharp));
    EXPECT_FLOAT_EQ(store().pitchSemitones.get(), 2);
    // Without a scan code only the character is known, and ß is not in the table.
    EXPECT_FALSE(press(0, Qt::Key_ssharp));
    EXPECT_FLOAT_EQ(store().pitchSemitones.get(), 2);
}

TEST_F(Keys, AFocusedFieldGetsTypingUntilEscapeTakesItsFocus) {
    prepare();
    field->setFocus();
    QTest::keyClicks(field, "a b");
    EXPECT_EQ(field->text(), QStringLiteral("a b"));
    EXPECT_FALSE(press(65, Qt::Key_Space, Qt::NoModifier, field));
    EXPECT_FALSE(press(113, Qt::Key_Left, Qt::NoModifier, field));
    EXPECT_FALSE(press(54, Qt::Key_C, Qt::ControlModifier, field));
    EXPECT_FALSE(store().isPlaying.get());
    EXPECT_NEAR(time(), 12, 1e-6);
    EXPECT_TRUE(rig.clipboard().copies.empty());

    EXPECT_TRUE(press(9, Qt::Key_Escape, Qt::NoModifier, field));
    EXPECT_FALSE(field->hasFocus());
    EXPECT_TRUE(press(9, Qt::Key_Escape));
    EXPECT_TRUE(press(65, Qt::Key_Space));
    EXPECT_TRUE(store().isPlaying.get());
}

TEST_F(Keys, RenameEditorQuitsOnCtrlWAndEscapeEndsItUnsaved) {
    prepare();
    store().beginRenameCurrentFile();
    QLineEdit& nameField = title->nameField();
    ASSERT_TRUE(nameField.hasFocus());
    QTest::keyClicks(&nameField, "x");
    EXPECT_TRUE(press(25, Qt::Key_W, Qt::ControlModifier, &nameField));
    EXPECT_EQ(terminations, 1);
    EXPECT_EQ(nameField.text(), QStringLiteral("bx"));

    EXPECT_TRUE(press(9, Qt::Key_Escape, Qt::NoModifier, &nameField));
    EXPECT_FALSE(store().isRenamingCurrentFile.get());
    EXPECT_TRUE(std::filesystem::exists(b));
    EXPECT_EQ(current(), "b.wav");
    // The focus left with the editor; it did not move on to the other field.
    EXPECT_FALSE(field->hasFocus());
    EXPECT_TRUE(press(65, Qt::Key_Space));
    EXPECT_TRUE(store().isPlaying.get());

    // Escape ends a rename also while another field has the focus, which keeps it.
    store().beginRenameCurrentFile();
    field->setFocus();
    EXPECT_TRUE(press(9, Qt::Key_Escape, Qt::NoModifier, field));
    EXPECT_FALSE(store().isRenamingCurrentFile.get());
    EXPECT_TRUE(field->hasFocus());
}

TEST_F(Keys, AnOpenMenuOrModalDialogKeepsItsKeys) {
    prepare();
    QMenu menu(&window);
    menu.addAction(QStringLiteral("One"));
    menu.addAction(QStringLiteral("Two"));
    menu.popup(window.mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
    EXPECT_FALSE(press(116, Qt::Key_Down, Qt::NoModifier, &menu));
    EXPECT_EQ(current(), "b.wav");
    menu.close();

    QDialog dialog(&window);
    dialog.setModal(true);
    dialog.show();
    EXPECT_FALSE(press(65, Qt::Key_Space, Qt::NoModifier, &dialog));
    EXPECT_FALSE(store().isPlaying.get());
    dialog.close();
    EXPECT_TRUE(press(65, Qt::Key_Space));
    EXPECT_TRUE(store().isPlaying.get());
}
