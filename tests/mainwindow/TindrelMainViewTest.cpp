#include "Tindrel/mainwindow/TindrelMainView.h"
#include "Tindrel/VelmoCore/VelmoUpdateRow.h"
#include "Tindrel/VelmoCore/VelmoUpdateStore.h"
#include "Tindrel/mainwindow/ChipButton.h"
#include "Tindrel/mainwindow/ElidedLabel.h"
#include "Tindrel/mainwindow/FolderCrateList.h"
#include "Tindrel/mainwindow/FolderCrateSidebar.h"
#include "Tindrel/mainwindow/FooterBar.h"
#include "Tindrel/mainwindow/PillButton.h"
#include "Tindrel/mainwindow/PitchAndSpeedCards.h"
#include "Tindrel/mainwindow/PlayerInspectorColumn.h"
#include "Tindrel/mainwindow/StereoMeterStrip.h"
#include "Tindrel/mainwindow/TransportAndWarpBar.h"
#include "Tindrel/mainwindow/WarpValueCard.h"
#include "Tindrel/platform/ui/ApplicationLook.h"
#include "Tindrel/platform/ui/SystemColors.h"
#include "tests/store_support/StoreTestRig.h"

#include <QApplication>
#include <QFileDialog>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>

using namespace tindrel;
using platform::SystemColors;

namespace {

class MainView : public testing::Test {
protected:
    MainView() : view(rig.store()) { view.show(); }

    // Drags these URLs, as a file manager offers them (also as text), to `at` (the view's
    // middle by default) and drops them there; true when the drag was taken.
    bool drop(const QList<QUrl>& urls, std::optional<QPoint> at = std::nullopt) {
        QMimeData data;
        data.setUrls(urls);
        if (!urls.isEmpty())
            data.setText(urls.first().toString());
        return drop(data, at.value_or(view.rect().center()));
    }

    // As the window does: the drag goes to the topmost widget under the point that takes drops.
    bool drop(const QMimeData& data, QPoint at) {
        QWidget* target = view.childAt(at);
        while (target && !target->acceptDrops())
            target = target->parentWidget();
        if (!target)
            target = &view;
        const QPoint local = target->mapFrom(&view, at);
        QDragEnterEvent enter(local, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDragMoveEvent move(local, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &move);
        QDropEvent dropped(local, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropped);
        QApplication::processEvents(); // the load runs after the drop is answered
        return enter.isAccepted() && dropped.isAccepted();
    }

    QPoint middleOf(const QWidget& widget) const {
        return widget.mapTo(&view, widget.rect().center());
    }

    static QUrl local(const std::filesystem::path& path) {
        return QUrl::fromLocalFile(QString::fromStdString(path.string()));
    }

    test::StoreTestRig rig;
    TindrelMainView view;
};

} // namespace

TEST_F(MainView, ADropOfThreeFilesPlaysOnlyTheFirst) {
    const auto a = rig.writeTone("a.wav");
    const auto b = rig.writeTone("b.wav");
    const auto c = rig.writeTone("c.wav");
    EXPECT_TRUE(drop({local(b), local(a), local(c)}));
    EXPECT_EQ(rig.store().currentURL.get(), b);
    EXPECT_TRUE(rig.store().isPlaying.get());
    EXPECT_EQ(rig.store().recentFiles.get(), std::vector<std::filesystem::path>{b});
}

TEST_F(MainView, ADroppedFolderIsBrowsedNotOpened) {
    rig.writeTone("b.wav");
    const auto a = rig.writeTone("a.wav");
    const auto folder = a.parent_path();
    EXPECT_TRUE(drop({local(folder)}));
    TindrelStore& store = rig.store();
    EXPECT_EQ(store.currentFolderURL.get(), folder);
    EXPECT_EQ(store.folderHistory->back(), folder);
    EXPECT_EQ(store.currentURL.get(), a); // its first audio file, loaded without playing
    EXPECT_FALSE(store.isPlaying.get());
    const auto& recents = store.recentFiles.get();
    EXPECT_EQ(std::count(recents.begin(), recents.end(), folder), 0);
}

TEST_F(MainView, AnUndecodableDroppedFileIsHandedToTheStoreWhichSaysSo) {
    const auto notes = rig.home() / "notes.txt";
    std::ofstream(notes) << "not audio";
    EXPECT_TRUE(drop({local(notes)}));
    EXPECT_TRUE(
        view.footer().statusLine().text().startsWith(QStringLiteral("Could not open notes.txt")));
    EXPECT_FALSE(rig.store().isPlaying.get());
}

TEST_F(MainView, DropsOfAnythingButLocalFilesAreRefused) {
    const auto a = rig.writeTone("a.wav");
    const QList<QUrl> refused[] = {
        {QUrl("https://example.com/song.wav")},
        {QUrl("sftp://host/music/a.wav"), local(a)}, // only the first item counts
        {},
    };
    for (const auto& urls : refused) {
        EXPECT_FALSE(drop(urls));
        EXPECT_EQ(rig.store().currentURL.get(), std::nullopt);
    }
}

TEST_F(MainView, AFileDroppedOnATextFieldIsOpenedNotTyped) {
    view.resize(TindrelMainView::idealSize);
    const auto song = rig.loadTone("song.wav", 5.0, false);
    QApplication::processEvents();
    PitchAndSpeedCards& cards = view.playerColumn().warpCards();
    QLineEdit* fields[] = {&view.crate().filterField(), &cards.pitchCard().field(),
                           &cards.speedCard().field()};
    for (QLineEdit* field : fields) {
        SCOPED_TRACE(field->placeholderText().toStdString());
        const QString before = field->text();
        const auto dropped = rig.writeTone("dropped.wav");
        rig.store().loadAndPlay(song, false);
        EXPECT_TRUE(drop({local(dropped)}, middleOf(*field)));
        EXPECT_EQ(rig.store().currentURL.get(), dropped);
        EXPECT_TRUE(rig.store().isPlaying.get());
        EXPECT_EQ(field->text(), before);
    }
    // Dragged text is still the field's.
    QMimeData text;
    text.setText(QStringLiteral("song"));
    QLineEdit& filter = view.crate().filterField();
    EXPECT_TRUE(drop(text, middleOf(filter)));
    EXPECT_EQ(filter.text(), QStringLiteral("song"));
}

// Answers the next modal file panel: chooses `location` (a file or a folder), or cancels.
void answerPanel(std::optional<std::filesystem::path> location) {
    QTimer::singleShot(0, [location] {
        auto* panel = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(panel, nullptr);
        if (!location)
            return panel->reject();
        panel->setDirectory(QString::fromStdString(location->parent_path().string()));
        panel->selectFile(QString::fromStdString(location->filename().string()));
        QMetaObject::invokeMethod(panel, "accept"); // as the panel's Open button does
    });
}

TEST_F(MainView, OpenPanelsPlayAChosenFileAndBrowseAChosenFolder) {
    const auto a = rig.writeTone("a.wav");
    const auto b = rig.writeTone("b.wav");
    TindrelStore& store = rig.store();

    answerPanel(std::nullopt);
    view.openAudioFilePanel();
    EXPECT_EQ(store.currentURL.get(), std::nullopt);

    answerPanel(b);
    view.openAudioFilePanel();
    EXPECT_EQ(store.currentURL.get(), b);
    EXPECT_TRUE(store.isPlaying.get());

    answerPanel(a.parent_path());
    view.openAudioFilePanel();
    EXPECT_EQ(store.currentFolderURL.get(), a.parent_path());
    EXPECT_EQ(store.currentURL.get(), a); // the first file, loaded without playing
    EXPECT_FALSE(store.isPlaying.get());

    const auto other = rig.home() / "other";
    std::filesystem::create_directories(other);
    answerPanel(other);
    view.chooseFolderPanel();
    EXPECT_EQ(store.currentFolderURL.get(), other);
    EXPECT_EQ(store.folderHistory->back(), other);
    EXPECT_EQ(store.currentURL.get(), a); // an empty folder loads nothing
}

TEST_F(MainView, ShowsTheHintWithoutAFileAndTheFullColumnWithOne) {
    PlayerInspectorColumn& column = view.playerColumn();
    EXPECT_FALSE(column.isShowingFile());
    EXPECT_TRUE(column.emptyHint().isVisible());
    EXPECT_FALSE(column.canvas().isVisible());
    EXPECT_FALSE(column.transportBar().isVisible());

    rig.loadTone();
    EXPECT_TRUE(column.isShowingFile());
    EXPECT_FALSE(column.emptyHint().isVisible());
    for (const QWidget* part : {static_cast<const QWidget*>(&column.canvas()),
                                static_cast<const QWidget*>(&column.transportBar()),
                                static_cast<const QWidget*>(&column.meters())})
        EXPECT_TRUE(part->isVisible());
}

TEST_F(MainView, FooterShowsTheStatusLineAndAPlayingDot) {
    const FooterBar& footer = view.footer();
    EXPECT_EQ(footer.statusLine().text(), QStringLiteral("Ready"));
    EXPECT_EQ(footer.statusDotColor(), SystemColors::cyan());
    rig.loadTone("song.wav");
    EXPECT_EQ(footer.statusDotColor(), SystemColors::green());
    EXPECT_EQ(footer.statusLine().text(), rig.store().statusBanner.get());
    EXPECT_TRUE(footer.statusLine().text().startsWith(QStringLiteral("Playing song.wav")));
    rig.store().togglePlayPause();
    EXPECT_EQ(footer.statusDotColor(), SystemColors::cyan());

    rig.store().statusBanner = QString(400, QLatin1Char('x'));
    QApplication::processEvents();
    EXPECT_TRUE(footer.statusLine().isTruncated()); // one line, cut
    EXPECT_TRUE(FooterBar::keyLegend().contains(QStringLiteral("Shift-Drag Range")));
    EXPECT_TRUE(FooterBar::keyLegend().contains(QStringLiteral("Ctrl+C Copy")));
}

// Counts layout requests anywhere in the application.
class LayoutRequestCounter : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        count += event->type() == QEvent::LayoutRequest;
        return false;
    }
};

TEST_F(MainView, PlaybackTicksRepaintWithoutRelayingOut) {
    rig.loadTone("song.wav", 5.0);
    // The load's own relayout climbs one level of the widget tree per pass.
    for (int pass = 0; pass < 10; ++pass)
        QApplication::processEvents();
    LayoutRequestCounter counter;
    qApp->installEventFilter(&counter);
    rig.play(1.0); // about thirty ticks: playhead, meters, readout
    QApplication::processEvents();
    qApp->removeEventFilter(&counter);
    EXPECT_GT(rig.store().currentTime.get(), 0.5);
    EXPECT_EQ(counter.count, 0);
}

TEST_F(MainView, EveryTransportControlIsOnScreenAtTheMinimumSize) {
    rig.loadTone("long.wav", 20.0);
    rig.store().seek(3, false);
    rig.store().setLoopInAtPlayhead(); // the clear pill shows too
    rig.store().seek(13, false);
    rig.store().setLoopOutAtPlayhead();
    view.resize(200, 200);
    EXPECT_EQ(view.size(), TindrelMainView::minimumContentSize);
    QApplication::processEvents();

    TransportAndWarpBar& bar = view.playerColumn().transportBar();
    const QRect column = view.playerColumn().geometry();
    std::vector<QRect> placed;
    for (QWidget* control : std::initializer_list<QWidget*>{
             &bar.previousButton(), &bar.playButton(), &bar.nextButton(), &bar.loopSwitch(),
             &bar.inButton(), &bar.outButton(), &bar.playRangeButton(), &bar.clearButton(),
             &bar.scopeButton(), &bar.modeButton(WarpMode::musical),
             &bar.modeButton(WarpMode::beats), &bar.modeButton(WarpMode::tape)}) {
        ASSERT_TRUE(control->isVisible());
        const QRect box(control->mapTo(&view, QPoint()), control->size());
        EXPECT_TRUE(column.contains(box)) << control->accessibleName().toStdString();
        EXPECT_GE(box.width(), control->sizeHint().width()); // nothing squeezed
        for (const QRect& other : placed)
            EXPECT_FALSE(box.intersects(other));
        placed.push_back(box);
    }
    // The canvas keeps its minimum height with the bar fully shown.
    EXPECT_GE(view.playerColumn().canvas().height(), 165);
}

TEST_F(MainView, HoldsTheProgramsUpdateStoreAndItsRowAboveTheFooter) {
    const velmo::VelmoUpdateStore& updates = view.updateStore();
    EXPECT_EQ(updates.productId(), QStringLiteral("tindrel"));
    EXPECT_EQ(updates.productName(), QStringLiteral("Tindrel"));
    EXPECT_EQ(updates.currentVersion(), QStringLiteral("0.9.0")); // the test has no version
    const auto rows = view.findChildren<velmo::VelmoUpdateRow*>();
    ASSERT_EQ(rows.size(), 1);
    QApplication::processEvents();
    const QRect row = rows.front()->geometry();
    EXPECT_GE(row.top(), view.playerColumn().geometry().bottom());
    EXPECT_LE(row.bottom(), view.footer().geometry().top());
    EXPECT_TRUE(rows.front()->checkButton().isVisible());
}

TEST_F(MainView, EveryToolTipIsTheApplicationsDarkToolTip) {
    platform::ApplicationLook::apply();
    rig.loadTone("song.wav", 5.0, false);
    view.resize(TindrelMainView::idealSize);
    QApplication::processEvents();
    // Every place that has help, hovered where the pointer would rest: on the topmost child.
    std::vector<std::pair<QWidget*, QPoint>> hovered;
    for (QWidget* widget : view.findChildren<QWidget*>())
        if (!widget->toolTip().isEmpty() && widget->isVisible())
            hovered.emplace_back(widget, widget->rect().center());
    hovered.emplace_back(view.crate().list().viewport(), view.crate().list().rowRect(0).center());
    const QColor tipGround = QToolTip::palette().color(QPalette::ToolTipBase);
    for (auto [widget, inside] : hovered) {
        if (QWidget* child = widget->childAt(inside)) {
            inside = child->mapFrom(widget, inside);
            widget = child;
        }
        SCOPED_TRACE(widget->metaObject()->className());
        QHelpEvent help(QEvent::ToolTip, inside, widget->mapToGlobal(inside));
        QApplication::sendEvent(widget, &help);
        QWidget* tip = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->inherits("QTipLabel") && top->isVisible())
                tip = top;
        ASSERT_NE(tip, nullptr);
        // Inside its frame, away from the text, and the frame itself.
        const QImage drawn = tip->grab().toImage();
        EXPECT_EQ(drawn.pixelColor(2, 2).rgb(), tipGround.rgb());
        EXPECT_LT(drawn.pixelColor(0, drawn.height() / 2).lightness(), 128);
        QToolTip::hideText();
    }
    EXPECT_GE(hovered.size(), 12u);
}
