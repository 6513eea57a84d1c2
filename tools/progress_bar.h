#pragma once

#include <cstdint>
#include <ostream>
#include <string>

namespace ombrilo {

// A one-line progress bar redrawn in place with a carriage return, for a terminal. A disabled
// bar writes nothing at all.
class ProgressBar {
public:
    ProgressBar(std::ostream& out, bool enabled, std::int64_t totalRows);

    // Redraws the bar when the whole percentage has changed since the last drawing.
    void Update(std::int64_t rowsDone);
    // Draws 100% and ends the line.
    void Finish();
    // Ends the line of a bar that was drawn, without claiming completion.
    void Abandon();

    // The bar's text for a percentage, without the carriage return.
    static std::string Line(int percent);

private:
    void Draw(int percent);

    std::ostream& out_;
    bool enabled_;
    std::int64_t totalRows_;
    int shownPercent_ = -1;
};

}  // namespace ombrilo
