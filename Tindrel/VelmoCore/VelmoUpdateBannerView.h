#pragma once

// The orange banner shown while a newer release is known: a version badge, a one-line message
// (cut off, never wrapped; the failure of the last update in its place until the user acts), and
// either "Update Now" and "What's New" or, while an install runs, a busy indicator with
// "Updating...". Hidden, taking no space, otherwise. Redraws on each change of the store, which it
// does not own. GUI thread only.

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace velmo {

class VelmoUpdateStore;

class VelmoUpdateBannerView : public QWidget {
    Q_OBJECT
public:
    explicit VelmoUpdateBannerView(VelmoUpdateStore& store, bool compact = false,
                                   QWidget* parent = nullptr);

    // The message as shown before it is cut to the width.
    const QString& message() const { return message_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    VelmoUpdateStore& store_;
    const bool compact_;
    QString message_;
    QLabel* badge_;
    QWidget* messageLine_;
    QProgressBar* progress_;
    QLabel* updating_;
    QPushButton* updateNow_;
    QPushButton* whatsNew_;
};

} // namespace velmo
