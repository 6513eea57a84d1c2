#include "frame_pattern.h"

#include <cstdio>
#include <optional>

namespace ombrilo {

namespace {

constexpr std::string_view kFlags = "-0+ ";

struct Field {
    std::string conversion;
    std::size_t length = 0;  // characters of the field in the pattern
};

// The integer field at text[at] == '%', nothing when it is not one this pattern allows.
std::optional<Field> ReadField(std::string_view text, std::size_t at) {
    std::size_t i = at + 1;
    std::string flags;
    while (i < text.size() && kFlags.find(text[i]) != std::string_view::npos && flags.size() < 4) {
        flags += text[i++];
    }
    std::string width;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && width.size() < 2) {
        width += text[i++];
    }
    if (i >= text.size() || (text[i] != 'd' && text[i] != 'i' && text[i] != 'u')) {
        return std::nullopt;
    }
    return Field{"%" + flags + width + "lld", i + 1 - at};
}

std::string Unescape(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '%') {
            ++i;  // "%%": the parser let only pairs through
        }
    }
    return out;
}

}  // namespace

std::string FramePattern::Name(std::int64_t number) const {
    char digits[64];
    std::snprintf(digits, sizeof digits, field_.c_str(), static_cast<long long>(number));
    return prefix_ + digits + suffix_;
}

std::variant<FramePattern, std::string> ParseFramePattern(std::string_view text) {
    const std::string example = " Пример: кадр%04d.png.";
    FramePattern pattern;
    std::optional<std::size_t> fieldAt;
    std::size_t fieldLength = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '%') {
            ++i;
            continue;
        }
        const std::optional<Field> field = ReadField(text, i);
        if (!field) {
            return "В шаблоне имён кадров «" + std::string(text) +
                   "» допустимо только целое поле вида %d, %4d или %04d." + example;
        }
        if (fieldAt) {
            return "В шаблоне имён кадров «" + std::string(text) +
                   "» должно быть ровно одно поле номера кадра." + example;
        }
        fieldAt = i;
        fieldLength = field->length;
        pattern.field_ = field->conversion;
        i += field->length - 1;
    }
    if (!fieldAt) {
        return "В шаблоне имён кадров «" + std::string(text) + "» нет поля номера кадра." + example;
    }
    pattern.prefix_ = Unescape(text.substr(0, *fieldAt));
    pattern.suffix_ = Unescape(text.substr(*fieldAt + fieldLength));
    return pattern;
}

}  // namespace ombrilo
