#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ombrilo {

// Number texts shown by the windows. They are written here, not by the locale's printing, so that
// the exponent form ("1E-7") and the decimal separator are under the program's control.
//
// Rounding is decimal rounding of the exact binary value; a value that lies exactly halfway
// rounds to the even digit (2.125 gives 2.12 at three digits), as the C library does.
//
// NaN is written "NAN", infinities "INF" and "-INF". Zero, also negative zero, is "0".

// The general format with significantDigits significant digits (taken as 1 when below 1 and as
// 40 when above 40): trailing zeros and a bare separator dropped; plain notation while the
// rounded value is at least 0.00001 in magnitude and has no more than significantDigits digits
// before the separator, otherwise "1.23E20" / "1E-7" (no plus sign, no leading zeros).
std::string FormatGeneral(long double value, int significantDigits, char decimalSeparator);

// One number of the coordinate read-out: rounded once, to three significant digits or to five
// digits after the separator, whichever keeps fewer digits; plain notation while the rounded value
// 0.d1d2d3 x 10^e has -3 <= e <= 3, otherwise the exponent form of FormatGeneral.
std::string FormatCoordinate(long double value, char decimalSeparator);

// The status bar text for the plane point (x, y): " ( X,Y ) =   x   y".
std::string CoordinateReadout(long double x, long double y, char decimalSeparator);

// Reads a decimal number typed by the user: blanks (spaces, tabs) at either end, an optional sign,
// digits with at most one decimal separator (digits are needed on at least one side of it, so
// "15," and ",5" are numbers), an optional exponent "E"/"e" with optional sign and at least one
// digit. The other separator, inner blanks, "inf", "nan" and hexadecimal are not numbers.
// A number whose value overflows a double or underflows to zero is not accepted either.
std::optional<double> ParseDecimal(std::string_view text, char decimalSeparator);

// One part of C as the user types it: a decimal number (ParseDecimal's form, with the locale's
// separator or a full stop) from -2 to 2 with at most 17 significant digits. Either the value or,
// when the text is not such a number, the Russian sentence that says why.
struct TypedCoefficient {
    std::optional<double> value;
    std::string error;
};
TypedCoefficient ParseTypedCoefficient(std::string_view text, char decimalSeparator);

}  // namespace ombrilo
