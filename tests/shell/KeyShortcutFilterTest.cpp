#include "Tindrel/shell/KeyShortcutFilter.h"
#include "Tindrel/mainwindow/FolderCrateSidebar.h"
#include "Tindrel/mainwindow/PitchAndSpeedCards.h"
#include "Tindrel/mainwindow/PlayerInspectorColumn.h"
#include "Tindrel/mainwindow/TindrelMainView.h"
#include "Tindrel/mainwindow/TitleLine.h"
#include "Tindrel/mainwindow/WarpValueCard.h"
#include "tests/store_support/StoreTestRig.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>
#include <ostream>

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

// What the table's actions change.
struct Snapshot {
    double time; // seconds, to the millisecond
    std::string file;
    float pitch;
    double zoom;
    std::optional<double> in;
    std::optional<double> out;
    bool loop = false;
    bool playing = false;
    size_t copies = 0;
    int terminations = 0;

    bool operator==(const Snapshot&) const = default;
};

void PrintTo(const Snapshot& s, std::ostream* out) {
    *out << "t=" << s.time << " " << s.file << " pitch=" << s.pitch << " zoom=" << s.zoom
         << " in=" << s.in.value_or(-1) << " out=" << s.out.value_or(-1) << " loop=" << s.loop
         << " playing=" << s.playing << " copies=" << s.copies << " quits=" << s.terminations;
}

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
    Snapshot prepare() {
        store().loadAndPlay(b, false);
        rig.setTransients({5, 10, 15, 20});
        store().seek(12, false);
        store().setPitchSemitones(3);
        store().zoomInWaveform();
        store().isLoopEnabled = false;
        terminations = 0;
        rig.clipboard().copies.clear();
        return snapshot();
    }

    Snapshot snapshot() {
        return {std::round(time() * 1000) / 1000,
                current(),
                store().pitchSemitones.get(),
                store().waveformZoom.get(),
                store().loopIn.get(),
                store().loopOut.get(),
                store().isLoopEnabled.get(),
                store().isPlaying.get(),
                rig.clipboard().copies.size(),
                terminations};
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
    using Change = std::function<void(Snapshot&)>;
    // A new load: zoom and range reset, the pitch kept.
    const auto playingFromItsStart = [](const char* file) {
        return Change([file](Snapshot& s) { s = {0, file, 3, 1, {}, {}, false, true}; });
    };
    struct Row {
        const char* name;
        quint32 scanCode;
        int key;
        Qt::KeyboardModifiers modifiers;
        bool consumed;
        Change change; // from the prepared state; nothing else may change
    } rows[] = {
        {"Space", 65, Qt::Key_Space, {}, true, [](Snapshot& s) { s.playing = true; }},
        {"Return", 36, Qt::Key_Return, {}, true, [](Snapshot& s) { s.time = 0; }},
        {"Left", 113, Qt::Key_Left, {}, true, [](Snapshot& s) { s.time = 10; }},
        {"Shift+Left", 113, Qt::Key_Left, shift, true, [](Snapshot& s) { s.time = 2; }},
        {"Ctrl+Left", 113, Qt::Key_Left, ctrl, true, [](Snapshot& s) { s.time = 10; }},
        {"Ctrl+Shift+Left", 113, Qt::Key_Left, ctrl | shift, true, [](Snapshot& s) { s.time = 2; }},
        {"Right", 114, Qt::Key_Right, {}, true, [](Snapshot& s) { s.time = 14; }},
        {"Shift+Right", 114, Qt::Key_Right, shift, true, [](Snapshot& s) { s.time = 22; }},
        {"Up", 111, Qt::Key_Up, {}, true, playingFromItsStart("a.wav")},
        {"Down", 116, Qt::Key_Down, {}, true, playingFromItsStart("c.wav")},
        {"minus", 20, Qt::Key_Minus, {}, true, [](Snapshot& s) { s.pitch = 2; }},
        {"equals", 21, Qt::Key_Equal, {}, true, [](Snapshot& s) { s.pitch = 4; }},
        {"zero", 19, Qt::Key_0, {}, true, [](Snapshot& s) { s.pitch = 0; }},
        {"I", 31, Qt::Key_I, {}, true, [](Snapshot& s) { s.in = 12, s.loop = true; }},
        {"O", 32, Qt::Key_O, {}, true, [](Snapshot& s) { s.in = 0, s.out = 12, s.loop = true; }},
        {"L", 46, Qt::Key_L, {}, true, [](Snapshot& s) { s.loop = true; }},
        {"R", 27, Qt::Key_R, {}, true, [](Snapshot& s) { s.zoom = 1; }},
        {"Ctrl+R", 27, Qt::Key_R, ctrl, false, [](Snapshot&) {}},
        {"T", 28, Qt::Key_T, {}, true, [](Snapshot& s) { s.zoom = 2.25; }},
        {"Ctrl+T", 28, Qt::Key_T, ctrl, false, [](Snapshot&) {}},
        {"Tab", 23, Qt::Key_Tab, {}, true, [](Snapshot& s) { s.time = 15; }},
        {"Shift+Tab", 23, Qt::Key_Backtab, shift, true, [](Snapshot& s) { s.time = 10; }},
        {"Ctrl+Tab", 23, Qt::Key_Tab, ctrl, true,
         [](Snapshot& s) { s.time = 15, s.in = 12, s.out = 15, s.loop = true; }},
        {"Alt+Tab", 23, Qt::Key_Tab, alt, true,
         [](Snapshot& s) { s.time = 15, s.in = 12, s.out = 15, s.loop = true; }},
        {"Ctrl+Shift+Tab", 23, Qt::Key_Backtab, ctrl | shift, true,
         [](Snapshot& s) { s.time = 10, s.in = 10, s.out = 12, s.loop = true; }},
        {"Ctrl+C", 54, Qt::Key_C, ctrl, true, [](Snapshot& s) { s.copies = 1; }},
        {"Ctrl+W", 25, Qt::Key_W, ctrl, true, [](Snapshot& s) { s.terminations = 1; }},
        {"Ctrl+Q", 24, Qt::Key_Q, ctrl, true, [](Snapshot& s) { s.terminations = 1; }},
        {"Ctrl+Shift+W", 25, Qt::Key_W, ctrl | shift, false, [](Snapshot&) {}},
        {"Escape", 9, Qt::Key_Escape, {}, true, [](Snapshot&) {}},
        {"F", 41, Qt::Key_F, {}, false, [](Snapshot&) {}},
    };
    for (const bool withScanCode : {true, false})
        for (const Row& row : rows) {
            SCOPED_TRACE(testing::Message() << row.name << (withScanCode ? "" : ", no scan code"));
            Snapshot expected = prepare();
            row.change(expected);
            EXPECT_EQ(press(withScanCode ? row.scanCode : 0, row.key, row.modifiers), row.consumed);
            EXPECT_EQ(snapshot(), expected);
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

namespace {

// The real main view with the table on the application. Presses go to the view's window, which
// hands them to its focused widget and then up the parents, as the desktop's presses go.
class KeysInTheWindow : public testing::Test {
protected:
    KeysInTheWindow() : filter(rig.store(), [this] { ++terminations; }), view(rig.store()) {
        qApp->installEventFilter(&filter);
        view.show();
        view.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&view));
        // The view takes the keyboard from any field shortly after it shows; let that pass.
        QLineEdit& filterField = view.crate().filterField();
        filterField.setFocus();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !filterField.hasFocus(); }));
        tone = rig.writeTone("tone.wav", 30.0);
    }

    TindrelStore& store() { return rig.store(); }
    QWindow* window() { return view.windowHandle(); }

    // A press with the native state that X11 gives (Lock = 0x2, Num Lock = 0x10).
    void pressWithNativeState(int key, Qt::KeyboardModifiers modifiers, quint32 nativeState) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers, 0, 0, nativeState);
        QApplication::sendEvent(window(), &press);
        QKeyEvent release(QEvent::KeyRelease, key, modifiers, 0, 0, nativeState);
        QApplication::sendEvent(window(), &release);
    }

    test::StoreTestRig rig;
    int terminations = 0;
    KeyShortcutFilter filter;
    TindrelMainView view;
    std::filesystem::path tone;
};

} // namespace

TEST_F(KeysInTheWindow, AReturnThatAFieldUsedIsNotReadAgainByTheTable) {
    PitchAndSpeedCards& cards = view.playerColumn().warpCards();
    QLineEdit& filterField = view.crate().filterField();
    QLineEdit& nameField = view.playerColumn().titleLine().nameField();
    struct Row {
        const char* field;
        std::function<QLineEdit&()> focus;
        const char* typed;
        std::function<bool()> used;
        bool keepsFocus;
    } rows[] = {
        {"speed", [&]() -> QLineEdit& { return cards.speedCard().field(); }, "1.5x",
         [&] { return store().playbackRate.get() == 1.5f; }, false},
        {"pitch", [&]() -> QLineEdit& { return cards.pitchCard().field(); }, "-3",
         [&] { return store().pitchSemitones.get() == -3.0f; }, false},
        {"rename",
         [&]() -> QLineEdit& {
             store().beginRenameCurrentFile();
             return nameField;
         },
         "renamed", [&] { return store().currentURL.get() == tone.parent_path() / "renamed.wav"; },
         false},
        {"crate filter", [&]() -> QLineEdit& { return filterField; }, "ton",
         [&] { return filterField.text() == QStringLiteral("ton"); }, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.field);
        store().loadAndPlay(tone, true);
        store().seek(9.7, std::nullopt);
        QLineEdit& field = row.focus();
        QTest::mouseClick(&field, Qt::LeftButton);
        ASSERT_TRUE(field.hasFocus());
        field.selectAll();
        for (const char* c = row.typed; *c; ++c)
            QTest::keyClick(window(), *c);
        QTest::keyClick(window(), Qt::Key_Return);
        EXPECT_TRUE(row.used());
        EXPECT_NEAR(store().currentTime.get(), 9.7, 1e-6);
        EXPECT_EQ(field.hasFocus(), row.keepsFocus);

        // Without a field's focus, Return is the table's again.
        filterField.clearFocus();
        QTest::keyClick(window(), Qt::Key_Return);
        EXPECT_EQ(store().currentTime.get(), 0.0);
        tone = *store().currentURL.get();
    }
}

TEST_F(KeysInTheWindow, CapsLockMakesCtrlNoLongerAlone) {
    struct Row {
        const char* name;
        int key;
        quint32 nativeState;
        bool acts;
    } rows[] = {
        {"Ctrl+W", Qt::Key_W, 0x4, true},
        {"Ctrl+Q with Num Lock", Qt::Key_Q, 0x4 | 0x10, true},
        {"Ctrl+C", Qt::Key_C, 0x4, true},
        {"Ctrl+W with Caps Lock", Qt::Key_W, 0x4 | 0x2, false},
        {"Ctrl+Q with Caps Lock", Qt::Key_Q, 0x4 | 0x2, false},
        {"Ctrl+C with Caps Lock", Qt::Key_C, 0x4 | 0x2, false},
    };
    store().loadAndPlay(tone, false);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        terminations = 0;
        rig.clipboard().copies.clear();
        pressWithNativeState(row.key, Qt::ControlModifier, row.nativeState);
        EXPECT_EQ(terminations + int(rig.clipboard().copies.size()), row.acts ? 1 : 0);
    }
}
