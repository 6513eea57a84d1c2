#pragma once

#include <cstddef>
#include <deque>

#include "fractal_state.h"

namespace ombrilo {

// What Back and Forward bring back: the constant, the view and the palette.
struct HistoryEntry {
    double Cx = 0.0;
    double Cy = 0.0;
    float CenterX = 0.0f;
    float CenterY = 0.0f;
    float ViewWidth = kDefaultViewWidth;
    Palette palette;

    bool operator==(const HistoryEntry&) const = default;
};

HistoryEntry HistoryEntryOf(const FractalState& state);

// Writes an entry into the state; MainStep follows the width.
void ApplyHistoryEntry(const HistoryEntry& entry, FractalState& state);

// The states the user went through in this run, oldest first, with the one shown now marked.
// A state equal to the marked one is not added again; a new state after going back replaces
// the states ahead; the oldest states go once the limit is reached.
class ViewHistory {
public:
    static constexpr std::size_t kLimit = 200;

    explicit ViewHistory(const HistoryEntry& start);

    // Adds the state unless it equals the marked entry; returns whether it was added.
    bool Record(const HistoryEntry& entry);

    bool CanGoBack() const { return current_ > 0; }
    bool CanGoForward() const { return current_ + 1 < entries_.size(); }

    // Move the mark one entry and return the entry now marked. Call only when allowed.
    const HistoryEntry& Back();
    const HistoryEntry& Forward();

    const HistoryEntry& Current() const { return entries_[current_]; }
    std::size_t Count() const { return entries_.size(); }
    std::size_t CurrentIndex() const { return current_; }

private:
    std::deque<HistoryEntry> entries_;
    std::size_t current_ = 0;
};

}  // namespace ombrilo
