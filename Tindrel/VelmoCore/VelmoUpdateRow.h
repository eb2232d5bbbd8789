#pragma once

// The update row of a product's main window: the update banner, then at the right end the last
// update status text (only while no newer release is known) and the "Check for Updates"
// button, which reads "Checking..." while any check runs and is never disabled. Shows the
// store, which it does not own. GUI thread only.

#include <QWidget>

class QLabel;
class QPushButton;

namespace velmo {

class VelmoUpdateBannerView;
class VelmoUpdateStore;

class VelmoUpdateRow : public QWidget {
    Q_OBJECT
public:
    explicit VelmoUpdateRow(VelmoUpdateStore& store, QWidget* parent = nullptr);

    const VelmoUpdateBannerView& banner() const { return *banner_; }
    const QLabel& statusText() const { return *statusText_; }
    QPushButton& checkButton() const { return *checkButton_; }

private:
    void refresh();

    VelmoUpdateStore& store_;
    VelmoUpdateBannerView* banner_;
    QLabel* statusText_;
    QPushButton* checkButton_;
};

} // namespace velmo
