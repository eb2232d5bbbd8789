#include "Tindrel/platform/desktop/DesktopFileClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

#include <gtest/gtest.h>

TEST(DesktopFileClipboard, holdsTheFilesForEveryKindOfPaste) {
    tindrel::platform::DesktopFileClipboard clipboard;
    ASSERT_TRUE(clipboard.copyFiles({"/music/Take 1.wav", "/music/./ü.flac"}));

    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->urls(), (QList<QUrl>{QUrl::fromLocalFile("/music/Take 1.wav"),
                                         QUrl::fromLocalFile("/music/ü.flac")}));
    EXPECT_EQ(data->data("text/uri-list"),
              "file:///music/Take%201.wav\r\nfile:///music/%C3%BC.flac\r\n");
    EXPECT_EQ(data->data("x-special/gnome-copied-files"),
              "copy\nfile:///music/Take%201.wav\nfile:///music/%C3%BC.flac");
    EXPECT_EQ(data->text(), "/music/Take 1.wav\n/music/ü.flac");
}
