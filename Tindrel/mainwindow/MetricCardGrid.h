#pragma once

// The eight measurement and format cards of the loaded file, in two rows of four that share
// the row's width: loudness, short-term maximum, true peak (red above -0.2 dBTP), RMS and
// crest; sample rate and depth, channels, format, file size. Follows the store's spec on
// changed(). GUI thread only.

#include <QWidget>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace tindrel {

class MetricCard;
class TindrelStore;

class MetricCardGrid : public QWidget {
    Q_OBJECT
public:
    explicit MetricCardGrid(TindrelStore& store, QWidget* parent = nullptr);

    // Cards in reading order: row 1 left to right, then row 2.
    const MetricCard& card(int index) const { return *cards_[size_t(index)]; }
    static constexpr int cardCount = 8;

private:
    void refresh();

    TindrelStore& store_;
    std::array<MetricCard*, cardCount> cards_{};
    // The measurements the cards last showed: each store change (every tick while playing)
    // would otherwise format them all anew.
    struct Shown {
        float lufsIntegrated, lufsShortTermMax, truePeakDBTP, rmsDB, crestDB;
        double sampleRate;
        int bitDepth, channels;
        std::string formatName;
        int64_t fileSizeBytes;
        bool operator==(const Shown&) const = default;
    };
    std::optional<Shown> shown_;
};

} // namespace tindrel
