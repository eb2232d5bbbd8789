#pragma once

// The one main window: titled "Tindrel", 1240 x 700 and never smaller than 1180 x 660, holding
// the main view. Closing it by any means is a way out of the program: it reports closing() and
// the delegate ends the process. It reports firstPainted() once its first frame is on screen,
// after the paint, so that work the first frame does not need can wait for it. GUI thread only;
// the delegate owns it.

#include <QWidget>

namespace tindrel {

class TindrelMainView;
class TindrelStore;

class TindrelMainWindow : public QWidget {
    Q_OBJECT
public:
    explicit TindrelMainWindow(TindrelStore& store);

    TindrelMainView& mainView() const { return *view_; }
    bool hasBeenPainted() const { return painted_; }

signals:
    void closing();
    void firstPainted();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TindrelMainView* view_;
    bool painted_ = false;
};

} // namespace tindrel
