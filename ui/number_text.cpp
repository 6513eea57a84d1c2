#include "ui/number_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

namespace ombrilo {

namespace {

constexpr int kMaxSignificantDigits = 40;
constexpr int kCoordinateDigits = 3;
constexpr int kCoordinateDecimals = 5;
// Exponents (of the form d.dd x 10^p) written in plain notation.
constexpr int kSmallestPlainExponent = -5;  // 0.00001
constexpr int kSmallestPlainCoordinateExponent = -4;
constexpr int kLargestPlainCoordinateExponent = 2;

// A rounded decimal number d1.d2d3... x 10^exponent; no digits means zero. The digits carry no
// leading or trailing zeros.
struct Decimal {
    bool negative = false;
    std::string digits;
    int exponent = 0;

    bool IsZero() const { return digits.empty(); }
};

// Reads what snprintf writes in the C locale: [-]digits[.digits][e(+|-)digits].
Decimal ReadPrinted(std::string_view printed) {
    Decimal result;
    std::size_t i = 0;
    if (i < printed.size() && printed[i] == '-') {
        result.negative = true;
        ++i;
    }
    std::string mantissa;
    int fractionDigits = 0;
    bool afterPoint = false;
    for (; i < printed.size(); ++i) {
        const char c = printed[i];
        if (c >= '0' && c <= '9') {
            mantissa.push_back(c);
            fractionDigits += afterPoint ? 1 : 0;
        } else if (c == '.') {
            afterPoint = true;
        } else {
            break;
        }
    }
    int printedExponent = 0;
    if (i < printed.size() && (printed[i] == 'e' || printed[i] == 'E')) {
        ++i;
        if (i < printed.size() && printed[i] == '+') {
            ++i;
        }
        std::from_chars(printed.data() + i, printed.data() + printed.size(), printedExponent);
    }
    const std::size_t firstNonZero = mantissa.find_first_not_of('0');
    if (firstNonZero == std::string::npos) {
        return result;
    }
    mantissa.erase(0, firstNonZero);
    result.exponent = static_cast<int>(mantissa.size()) - 1 + printedExponent - fractionDigits;
    mantissa.erase(mantissa.find_last_not_of('0') + 1);
    result.digits = std::move(mantissa);
    return result;
}

Decimal RoundToSignificant(long double value, int digits) {
    std::array<char, 80> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%.*Le", digits - 1, value);
    return ReadPrinted(buffer.data());
}

// Only for values well below 1, so that the fixed form stays short.
Decimal RoundToDecimals(long double value, int decimals) {
    std::array<char, 80> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%.*Lf", decimals, value);
    return ReadPrinted(buffer.data());
}

std::optional<std::string> NonFiniteText(long double value) {
    if (std::isnan(value)) {
        return "NAN";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-INF" : "INF";
    }
    return std::nullopt;
}

std::string Sign(const Decimal& d) {
    return d.negative ? "-" : "";
}

std::string WritePlain(const Decimal& d, char separator) {
    std::string integerPart;
    std::string fraction;
    if (d.exponent >= 0) {
        const std::size_t integerDigits = static_cast<std::size_t>(d.exponent) + 1;
        integerPart = d.digits.substr(0, std::min(integerDigits, d.digits.size()));
        integerPart.append(integerDigits - integerPart.size(), '0');
        if (d.digits.size() > integerDigits) {
            fraction = d.digits.substr(integerDigits);
        }
    } else {
        integerPart = "0";
        fraction = std::string(static_cast<std::size_t>(-d.exponent - 1), '0') + d.digits;
    }
    std::string text = Sign(d) + integerPart;
    if (!fraction.empty()) {
        text += separator + fraction;
    }
    return text;
}

std::string WriteScientific(const Decimal& d, char separator) {
    std::string text = Sign(d) + d.digits.front();
    if (d.digits.size() > 1) {
        text += separator + d.digits.substr(1);
    }
    return text + 'E' + std::to_string(d.exponent);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Reads one optional sign character at pos.
std::string_view TakeSign(std::string_view text, std::size_t& pos) {
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        return text.substr(pos++, 1);
    }
    return {};
}

std::string_view TakeDigits(std::string_view text, std::size_t& pos) {
    const std::size_t start = pos;
    while (pos < text.size() && IsDigit(text[pos])) {
        ++pos;
    }
    return text.substr(start, pos - start);
}

// Checks the user's text against the number form and rewrites it in the form from_chars reads:
// no leading '+', '.' as the separator. Empty when the text is not a number.
std::string NormalizeDecimal(std::string_view text, char separator) {
    std::size_t pos = 0;
    const std::string_view sign = TakeSign(text, pos);
    const std::string_view integerDigits = TakeDigits(text, pos);
    std::string_view fractionDigits;
    if (pos < text.size() && text[pos] == separator) {
        ++pos;
        fractionDigits = TakeDigits(text, pos);
    }
    if (integerDigits.empty() && fractionDigits.empty()) {
        return {};
    }
    std::string normalized = sign == "-" ? "-" : "";
    normalized += integerDigits.empty() ? std::string_view("0") : integerDigits;
    if (!fractionDigits.empty()) {
        normalized += '.';
        normalized += fractionDigits;
    }
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        ++pos;
        const std::string_view exponentSign = TakeSign(text, pos);
        const std::string_view exponentDigits = TakeDigits(text, pos);
        if (exponentDigits.empty()) {
            return {};
        }
        normalized += 'e';
        normalized += exponentSign;
        normalized += exponentDigits;
    }
    return pos == text.size() ? normalized : std::string();
}

}  // namespace

std::string FormatGeneral(long double value, int significantDigits, char decimalSeparator) {
    if (auto text = NonFiniteText(value)) {
        return *text;
    }
    const int digits = std::clamp(significantDigits, 1, kMaxSignificantDigits);
    const Decimal rounded = RoundToSignificant(value, digits);
    if (rounded.IsZero()) {
        return "0";
    }
    const bool plain = rounded.exponent >= kSmallestPlainExponent && rounded.exponent <= digits - 1;
    return plain ? WritePlain(rounded, decimalSeparator)
                 : WriteScientific(rounded, decimalSeparator);
}

std::string FormatCoordinate(long double value, char decimalSeparator) {
    if (auto text = NonFiniteText(value)) {
        return *text;
    }
    // One rounding, at the coarser of the two limits: when the last of three significant digits
    // would lie below the fifth decimal, the value is rounded to five decimals instead.
    Decimal rounded = RoundToSignificant(value, kCoordinateDigits);
    const int lastDigitExponent = rounded.exponent - (kCoordinateDigits - 1);
    if (!rounded.IsZero() && lastDigitExponent < -kCoordinateDecimals) {
        rounded = RoundToDecimals(value, kCoordinateDecimals);
    }
    if (rounded.IsZero()) {
        return "0";
    }
    const bool plain = rounded.exponent >= kSmallestPlainCoordinateExponent &&
                       rounded.exponent <= kLargestPlainCoordinateExponent;
    return plain ? WritePlain(rounded, decimalSeparator)
                 : WriteScientific(rounded, decimalSeparator);
}

std::string CoordinateReadout(long double x, long double y, char decimalSeparator) {
    return " ( X,Y ) =   " + FormatCoordinate(x, decimalSeparator) + "   " +
           FormatCoordinate(y, decimalSeparator);
}

std::optional<double> ParseDecimal(std::string_view text, char decimalSeparator) {
    const std::string normalized = NormalizeDecimal(TrimBlanks(text), decimalSeparator);
    if (normalized.empty()) {
        return std::nullopt;
    }
    double value = 0.0;
    const char* end = normalized.data() + normalized.size();
    const auto [ptr, error] = std::from_chars(normalized.data(), end, value);
    if (error != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return value;
}

namespace {

constexpr int kTypedDigits = 17;     // enough to give every double back
constexpr double kTypedLimit = 2.0;  // the sliders' range

// Significant digits of the number's digits before any exponent: from the first non-zero digit to
// the last non-zero one.
int SignificantDigits(std::string_view text) {
    const std::size_t exponent = text.find_first_of("eE");
    std::string digits;
    for (const char c : text.substr(0, exponent)) {
        if (c >= '0' && c <= '9') {
            digits += c;
        }
    }
    const std::size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos) {
        return 0;
    }
    return static_cast<int>(digits.find_last_not_of('0') - first + 1);
}

}  // namespace

TypedCoefficient ParseTypedCoefficient(std::string_view text, char decimalSeparator) {
    std::string typed(text);
    if (decimalSeparator != '.' && typed.find(decimalSeparator) == std::string::npos) {
        std::replace(typed.begin(), typed.end(), '.', decimalSeparator);
    }
    const std::optional<double> value = ParseDecimal(typed, decimalSeparator);
    if (!value) {
        return {std::nullopt, "Это не число. Пример: -0" + std::string(1, decimalSeparator) + "75"};
    }
    if (SignificantDigits(typed) > kTypedDigits) {
        return {std::nullopt, "Не больше 17 значащих цифр."};
    }
    if (!(*value >= -kTypedLimit && *value <= kTypedLimit)) {
        return {std::nullopt, "Число должно быть от -2 до 2."};
    }
    return {*value, {}};
}

}  // namespace ombrilo
