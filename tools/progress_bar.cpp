#include "progress_bar.h"

#include <algorithm>
#include <string>

namespace ombrilo {

namespace {

constexpr int kBarCells = 30;

}  // namespace

ProgressBar::ProgressBar(std::ostream& out, bool enabled, std::int64_t totalRows)
    : out_(out), enabled_(enabled), totalRows_(std::max<std::int64_t>(totalRows, 1)) {}

std::string ProgressBar::Line(int percent) {
    percent = std::clamp(percent, 0, 100);
    const int filled = percent * kBarCells / 100;
    std::string line = "Расчёт [";
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(kBarCells - filled), '-');
    line += "] ";
    const std::string number = std::to_string(percent);
    line.append(3 - number.size(), ' ');
    return line + number + "%";
}

void ProgressBar::Update(std::int64_t rowsDone) {
    rowsDone = std::clamp<std::int64_t>(rowsDone, 0, totalRows_);
    Draw(static_cast<int>(static_cast<long double>(rowsDone) * 100.0L /
                          static_cast<long double>(totalRows_)));
}

void ProgressBar::Finish() {
    Draw(100);
    Abandon();
}

void ProgressBar::Abandon() {
    if (enabled_ && shownPercent_ >= 0) {
        out_ << '\n' << std::flush;
        shownPercent_ = -1;
    }
}

void ProgressBar::Draw(int percent) {
    if (!enabled_ || percent == shownPercent_) {
        return;
    }
    shownPercent_ = percent;
    out_ << '\r' << Line(percent) << std::flush;
}

}  // namespace ombrilo
