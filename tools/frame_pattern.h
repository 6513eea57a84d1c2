#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace ombrilo {

// The names of numbered frames: a text with one printf-style integer field ("out%04d.png");
// "%%" stands for a percent sign.
class FramePattern {
public:
    // The name of frame number (from 0).
    std::string Name(std::int64_t number) const;

private:
    friend std::variant<FramePattern, std::string> ParseFramePattern(std::string_view text);

    std::string prefix_;
    std::string suffix_;
    std::string field_;  // the conversion, such as "%04lld"
};

// The pattern, or why it is refused (in Russian): no field, more than one, or a field that is
// not an integer one (flags "-", "0", "+" and a blank, a width of at most two digits, then d, i
// or u).
std::variant<FramePattern, std::string> ParseFramePattern(std::string_view text);

}  // namespace ombrilo
