#include "view_history.h"

namespace ombrilo {

HistoryEntry HistoryEntryOf(const FractalState& state) {
    return {state.Cx, state.Cy, state.CenterX, state.CenterY, state.ViewWidth, state.palette};
}

void ApplyHistoryEntry(const HistoryEntry& entry, FractalState& state) {
    state.Cx = entry.Cx;
    state.Cy = entry.Cy;
    state.CenterX = entry.CenterX;
    state.CenterY = entry.CenterY;
    state.ViewWidth = entry.ViewWidth;
    state.MainStep = MainStepFor(entry.ViewWidth);
    state.palette = entry.palette;
}

ViewHistory::ViewHistory(const HistoryEntry& start) : entries_{start} {}

bool ViewHistory::Record(const HistoryEntry& entry) {
    if (entry == entries_[current_]) {
        return false;
    }
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(current_) + 1, entries_.end());
    entries_.push_back(entry);
    if (entries_.size() > kLimit) {
        entries_.pop_front();
    }
    current_ = entries_.size() - 1;
    return true;
}

const HistoryEntry& ViewHistory::Back() {
    if (CanGoBack()) {
        --current_;
    }
    return entries_[current_];
}

const HistoryEntry& ViewHistory::Forward() {
    if (CanGoForward()) {
        ++current_;
    }
    return entries_[current_];
}

}  // namespace ombrilo
