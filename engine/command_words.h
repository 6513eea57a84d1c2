#pragma once

#include <string>
#include <string_view>
#include <vector>

// Small text helpers shared by the command lines of the program and of ombrilo-render (plain
// C++, so that neither needs the other's libraries).
namespace ombrilo {

// "«text»", the way the messages quote what the user typed.
inline std::string Quoted(std::string_view text) {
    return "«" + std::string(text) + "»";
}

// Whether longName or shortName comes before any "--" among args. Help and the version are
// given even next to other mistakes: whoever asks for them wants to learn the usage.
inline bool AsksFor(const std::vector<std::string>& args, std::string_view longName,
                    std::string_view shortName) {
    for (const std::string& arg : args) {
        if (arg == "--") {
            return false;
        }
        if (arg == longName || arg == shortName) {
            return true;
        }
    }
    return false;
}

}  // namespace ombrilo
