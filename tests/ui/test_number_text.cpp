#include <QtTest>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "ui/number_text.h"

using namespace ombrilo;

Q_DECLARE_METATYPE(long double)

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// A slider position p gives C = p x 0.001, the product rounded to double.
double SliderValue(int position) {
    return static_cast<double>(position * 0.001L);
}

std::uint64_t Bits(double value) {
    return std::bit_cast<std::uint64_t>(value);
}

constexpr long double kInf = std::numeric_limits<long double>::infinity();
constexpr long double kNan = std::numeric_limits<long double>::quiet_NaN();

}  // namespace

class TestNumberText : public QObject {
    Q_OBJECT

private slots:
    void formatGeneral_data() {
        QTest::addColumn<long double>("value");
        QTest::addColumn<int>("digits");
        QTest::addColumn<char>("separator");
        QTest::addColumn<QString>("expected");

        // Re(C) and Im(C) boxes: 15 digits, so the slider's binary noise does not show.
        QTest::newRow("slider 402") << (long double)SliderValue(402) << 15 << '.' << "0.402";
        QTest::newRow("slider 339") << (long double)SliderValue(339) << 15 << '.' << "0.339";
        QTest::newRow("slider -1") << (long double)SliderValue(-1) << 15 << '.' << "-0.001";
        QTest::newRow("slider 0") << (long double)SliderValue(0) << 15 << '.' << "0";
        QTest::newRow("slider 2000") << (long double)SliderValue(2000) << 15 << '.' << "2";
        QTest::newRow("slider -1999") << (long double)SliderValue(-1999) << 15 << '.' << "-1.999";
        QTest::newRow("double product 0.001*402")
            << (long double)(402 * 0.001) << 15 << '.' << "0.402";
        QTest::newRow("loaded 0.40237") << (long double)0.40237 << 15 << '.' << "0.40237";
        QTest::newRow("loaded -0.7459") << (long double)-0.7459 << 15 << '.' << "-0.7459";
        QTest::newRow("17 digits show the noise")
            << (long double)0.1 << 17 << '.' << "0.10000000000000001";
        QTest::newRow("1/3") << (long double)(1.0 / 3.0) << 15 << '.' << "0.333333333333333";
        QTest::newRow("2/3 rounds up")
            << (long double)(2.0 / 3.0) << 15 << '.' << "0.666666666666667";

        // Export size fields: a float's value with 15 digits.
        QTest::newRow("float 15.75") << (long double)15.75f << 15 << '.' << "15.75";
        QTest::newRow("float 15.75 comma") << (long double)15.75f << 15 << ',' << "15,75";
        QTest::newRow("float 0.1") << (long double)0.1f << 15 << '.' << "0.100000001490116";
        QTest::newRow("float 960") << (long double)960.0f << 15 << '.' << "960";

        // File-size caption: 3 digits.
        QTest::newRow("1024x768 Mb") << 1024 * 768 * 3 * 1e-6L << 3 << '.' << "2.36";
        QTest::newRow("2.359296") << 2.359296L << 3 << '.' << "2.36";
        QTest::newRow("2.36 comma") << 2.36L << 3 << ',' << "2,36";
        QTest::newRow("360") << 360.0L << 3 << '.' << "360";
        QTest::newRow("999") << 999.0L << 3 << '.' << "999";
        QTest::newRow("999.4") << 999.4L << 3 << '.' << "999";
        QTest::newRow("999.9 rounds to 4 digits") << 999.9L << 3 << '.' << "1E3";
        QTest::newRow("1000") << 1000.0L << 3 << '.' << "1E3";
        QTest::newRow("12345") << 12345.0L << 3 << '.' << "1.23E4";
        QTest::newRow("12345 comma") << 12345.0L << 3 << ',' << "1,23E4";
        QTest::newRow("-12345") << -12345.0L << 3 << '.' << "-1.23E4";
        QTest::newRow("0.00001") << 0.00001L << 3 << '.' << "0.00001";
        QTest::newRow("0.00001 comma") << 0.00001L << 3 << ',' << "0,00001";
        QTest::newRow("0.000015") << 0.000015L << 3 << '.' << "0.000015";
        QTest::newRow("0.0000099") << 0.0000099L << 3 << '.' << "9.9E-6";
        QTest::newRow("-0.0000099") << -0.0000099L << 3 << '.' << "-9.9E-6";
        QTest::newRow("0.00000999 stays small") << 0.00000999L << 3 << '.' << "9.99E-6";
        QTest::newRow("0.0000099999 rounds to 0.00001") << 0.0000099999L << 3 << '.' << "0.00001";
        QTest::newRow("1e-7") << 1e-7L << 3 << '.' << "1E-7";
        QTest::newRow("1.23e20") << 1.23e20L << 3 << '.' << "1.23E20";
        QTest::newRow("1.23e20 comma") << 1.23e20L << 3 << ',' << "1,23E20";
        QTest::newRow("1.5e-12") << 1.5e-12L << 3 << '.' << "1.5E-12";

        // Plain notation pads with zeros before the separator and keeps inner zeros.
        QTest::newRow("120000 plain") << 120000.0L << 15 << '.' << "120000";
        QTest::newRow("100.05 inner zeros") << 100.05L << 15 << '.' << "100.05";
        QTest::newRow("0.0102") << 0.0102L << 15 << '.' << "0.0102";
        QTest::newRow("15 digits before separator")
            << 123456789012345.0L << 15 << '.' << "123456789012345";
        QTest::newRow("16 digits before separator")
            << 1234567890123456.0L << 15 << '.' << "1.23456789012346E15";
        QTest::newRow("rounds up to 16 digits") << 999999999999999.9L << 15 << '.' << "1E15";

        // Exact halves of the binary value go to the even digit; 2.675 lies below its half.
        QTest::newRow("tie 2.125") << 2.125L << 3 << '.' << "2.12";
        QTest::newRow("tie 2.375") << 2.375L << 3 << '.' << "2.38";
        QTest::newRow("tie -2.125") << -2.125L << 3 << '.' << "-2.12";
        QTest::newRow("double 2.675") << (long double)2.675 << 3 << '.' << "2.67";
        QTest::newRow("tie 2.5 one digit") << 2.5L << 1 << '.' << "2";
        QTest::newRow("tie 9.5 one digit") << 9.5L << 1 << '.' << "1E1";

        // Digit counts outside 1..40 are brought into it.
        QTest::newRow("0 digits as 1") << 360.0L << 0 << '.' << "4E2";
        QTest::newRow("negative digits as 1") << 2.5L << -7 << '.' << "2";
        QTest::newRow("1000 digits as 40")
            << (long double)0.1 << 1000 << '.' << "0.1000000000000000055511151231257827021182";

        // Zero, extremes and values that are not numbers.
        QTest::newRow("negative zero") << -0.0L << 15 << '.' << "0";
        QTest::newRow("1e300") << 1e300L << 15 << '.' << "1E300";
        QTest::newRow("1e-300") << 1e-300L << 15 << '.' << "1E-300";
        QTest::newRow("-1e-300") << -1e-300L << 3 << '.' << "-1E-300";
        QTest::newRow("largest double")
            << (long double)DBL_MAX << 15 << '.' << "1.79769313486232E308";
        QTest::newRow("smallest double denormal")
            << (long double)std::numeric_limits<double>::denorm_min() << 15 << '.'
            << "4.94065645841247E-324";
        QTest::newRow("largest long double") << LDBL_MAX << 3 << '.' << "1.19E4932";
        QTest::newRow("smallest long double denormal")
            << std::numeric_limits<long double>::denorm_min() << 3 << ',' << "3,65E-4951";
        QTest::newRow("NaN") << kNan << 15 << '.' << "NAN";
        QTest::newRow("negative NaN") << -kNan << 3 << '.' << "NAN";
        QTest::newRow("infinity") << kInf << 15 << '.' << "INF";
        QTest::newRow("minus infinity") << -kInf << 3 << ',' << "-INF";
    }

    void formatGeneral() {
        QFETCH(long double, value);
        QFETCH(int, digits);
        QFETCH(char, separator);
        QFETCH(QString, expected);
        QCOMPARE(Q(FormatGeneral(value, digits, separator)), expected);
    }

    // With 17 digits every double comes back unchanged, which checks the placement of digits,
    // separator and exponent over the whole range.
    void formatGeneralSeventeenDigitsReadBack() {
        std::mt19937_64 random(20240521);
        int checked = 0;
        while (checked < 4000) {
            const double value = std::bit_cast<double>(random());
            if (!std::isfinite(value) || value == 0.0) {
                continue;
            }
            const char separator = (checked % 2 == 0) ? '.' : ',';
            const std::string text = FormatGeneral(value, 17, separator);
            const std::optional<double> back = ParseDecimal(text, separator);
            QVERIFY2(back.has_value(), text.c_str());
            QVERIFY2(Bits(*back) == Bits(value), text.c_str());
            ++checked;
        }
    }

    void formatCoordinate_data() {
        QTest::addColumn<long double>("value");
        QTest::addColumn<char>("separator");
        QTest::addColumn<QString>("expected");

        QTest::newRow("0.5") << 0.5L << '.' << "0.5";
        QTest::newRow("0.5 comma") << 0.5L << ',' << "0,5";
        QTest::newRow("-2.5") << -2.5L << '.' << "-2.5";
        QTest::newRow("-2.5 comma") << -2.5L << ',' << "-2,5";
        QTest::newRow("12.345") << 12.345L << '.' << "12.3";
        QTest::newRow("1.2345") << 1.2345L << '.' << "1.23";
        QTest::newRow("0.012345") << 0.012345L << '.' << "0.0123";
        QTest::newRow("0.99996 rounds to 1") << 0.99996L << '.' << "1";
        QTest::newRow("tie 1.125") << 1.125L << '.' << "1.12";

        // Exponent e of 0.d1d2d3 x 10^e: plain for -3..3.
        QTest::newRow("123.456 (e=3)") << 123.456L << '.' << "123";
        QTest::newRow("999.4 (e=3)") << 999.4L << '.' << "999";
        QTest::newRow("100 (e=3)") << 100.0L << '.' << "100";
        QTest::newRow("999.7 rounds to e=4") << 999.7L << '.' << "1E3";
        QTest::newRow("1000 (e=4)") << 1000.0L << '.' << "1E3";
        QTest::newRow("1234.5 (e=4)") << 1234.5L << '.' << "1.23E3";
        QTest::newRow("-1234.5 comma") << -1234.5L << ',' << "-1,23E3";
        QTest::newRow("0.001 (e=-2)") << 0.001L << '.' << "0.001";
        QTest::newRow("0.00099 (e=-3)") << 0.00099L << '.' << "0.00099";
        QTest::newRow("0.00049 (e=-3)") << 0.00049L << '.' << "0.00049";
        QTest::newRow("0.0001 (e=-3)") << 0.0001L << '.' << "0.0001";
        QTest::newRow("0.0001234 to 5 decimals") << 0.0001234L << '.' << "0.00012";
        QTest::newRow("-0.0001234 comma") << -0.0001234L << ',' << "-0,00012";
        QTest::newRow("0.000999 to 5 decimals") << 0.000999L << '.' << "0.001";
        QTest::newRow("0.00099996") << 0.00099996L << '.' << "0.001";
        QTest::newRow("0.000049 to 0.00005 (e=-4)") << 0.000049L << '.' << "5E-5";
        QTest::newRow("0.0000123 to 0.00001 (e=-4)") << 0.0000123L << '.' << "1E-5";
        QTest::newRow("0.00001") << 0.00001L << '.' << "1E-5";
        QTest::newRow("-0.000049 comma") << -0.000049L << ',' << "-5E-5";
        // One rounding only: rounding to 0.000015 first would then give 0.00002.
        QTest::newRow("0.000014951 single rounding") << 0.000014951L << '.' << "1E-5";
        QTest::newRow("0.0000051 up to 0.00001") << 0.0000051L << '.' << "1E-5";

        // Below half of the fifth decimal nothing is left.
        QTest::newRow("0.000004") << 0.000004L << '.' << "0";
        QTest::newRow("0.0000049") << 0.0000049L << '.' << "0";
        QTest::newRow("-0.0000049") << -0.0000049L << '.' << "0";
        QTest::newRow("1e-300") << 1e-300L << '.' << "0";
        QTest::newRow("long double denormal")
            << std::numeric_limits<long double>::denorm_min() << '.' << "0";
        QTest::newRow("zero") << 0.0L << '.' << "0";
        QTest::newRow("negative zero") << -0.0L << '.' << "0";

        QTest::newRow("1e300") << 1e300L << '.' << "1E300";
        QTest::newRow("-1.5e300 comma") << -1.5e300L << ',' << "-1,5E300";
        QTest::newRow("1e4000") << 1e4000L << '.' << "1E4000";
        QTest::newRow("NaN") << kNan << '.' << "NAN";
        QTest::newRow("infinity") << kInf << '.' << "INF";
        QTest::newRow("minus infinity") << -kInf << '.' << "-INF";
    }

    void formatCoordinate() {
        QFETCH(long double, value);
        QFETCH(char, separator);
        QFETCH(QString, expected);
        QCOMPARE(Q(FormatCoordinate(value, separator)), expected);
    }

    void coordinateReadout_data() {
        QTest::addColumn<long double>("x");
        QTest::addColumn<long double>("y");
        QTest::addColumn<char>("separator");
        QTest::addColumn<QString>("expected");

        QTest::newRow("plain") << 0.5L << -2.5L << '.' << " ( X,Y ) =   0.5   -2.5";
        QTest::newRow("comma and exponents")
            << 1234.5L << 0.0000123L << ',' << " ( X,Y ) =   1,23E3   1E-5";
        QTest::newRow("origin") << 0.0L << -0.0L << '.' << " ( X,Y ) =   0   0";
        QTest::newRow("not numbers") << kNan << -kInf << '.' << " ( X,Y ) =   NAN   -INF";
    }

    void coordinateReadout() {
        QFETCH(long double, x);
        QFETCH(long double, y);
        QFETCH(char, separator);
        QFETCH(QString, expected);
        QCOMPARE(Q(CoordinateReadout(x, y, separator)), expected);
    }

    void parseAccepted_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<char>("separator");
        QTest::addColumn<double>("expected");

        QTest::newRow("integer") << QByteArray("1280") << '.' << 1280.0;
        QTest::newRow("point") << QByteArray("15.75") << '.' << 15.75;
        QTest::newRow("comma") << QByteArray("15,75") << ',' << 15.75;
        QTest::newRow("minus") << QByteArray("-2.5") << '.' << -2.5;
        QTest::newRow("minus comma") << QByteArray("-2,5") << ',' << -2.5;
        QTest::newRow("plus") << QByteArray("+3") << '.' << 3.0;
        QTest::newRow("leading zeros") << QByteArray("007") << '.' << 7.0;
        QTest::newRow("blanks around") << QByteArray("  42  ") << '.' << 42.0;
        QTest::newRow("tabs around") << QByteArray("\t7,5\t") << ',' << 7.5;
        QTest::newRow("separator last") << QByteArray("15,") << ',' << 15.0;
        QTest::newRow("separator first") << QByteArray(",5") << ',' << 0.5;
        QTest::newRow("minus separator first") << QByteArray("-.25") << '.' << -0.25;
        QTest::newRow("exponent") << QByteArray("1e3") << '.' << 1000.0;
        QTest::newRow("capital exponent") << QByteArray("1E-2") << '.' << 0.01;
        QTest::newRow("exponent plus") << QByteArray("2,5e+2") << ',' << 250.0;
        QTest::newRow("separator then exponent") << QByteArray("5.e1") << '.' << 50.0;
        QTest::newRow("0.1 correctly rounded") << QByteArray("0.1") << '.' << 0.1;
        QTest::newRow("0.402") << QByteArray("0,402") << ',' << 0.402;
        QTest::newRow("many digits")
            << QByteArray("123456789012345678901234567890") << '.' << 1.2345678901234568e29;
        QTest::newRow("largest double") << QByteArray("1.7976931348623157e308") << '.' << DBL_MAX;
        QTest::newRow("smallest denormal") << QByteArray("4.9406564584124654E-324") << '.'
                                           << std::numeric_limits<double>::denorm_min();
        QTest::newRow("zero with huge exponent") << QByteArray("0e99999") << '.' << 0.0;
        QTest::newRow("long fraction")
            << QByteArray("0." + QByteArray(299, '0') + "1") << '.' << 1e-300;
    }

    void parseAccepted() {
        QFETCH(QByteArray, text);
        QFETCH(char, separator);
        QFETCH(double, expected);
        const std::optional<double> value =
            ParseDecimal(std::string_view(text.constData(), text.size()), separator);
        QVERIFY(value.has_value());
        QCOMPARE(Bits(*value), Bits(expected));
    }

    void parseNegativeZeroKeepsSign() {
        const std::optional<double> value = ParseDecimal("-0", '.');
        QVERIFY(value.has_value());
        QCOMPARE(*value, 0.0);
        QVERIFY(std::signbit(*value));
    }

    void parseRejected_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<char>("separator");

        QTest::newRow("empty") << QByteArray() << '.';
        QTest::newRow("blanks only") << QByteArray("   ") << '.';
        QTest::newRow("letters") << QByteArray("abc") << '.';
        QTest::newRow("two separators") << QByteArray("1.2.3") << '.';
        QTest::newRow("two separators comma") << QByteArray("1,5,") << ',';
        QTest::newRow("exponent without digits") << QByteArray("1e") << '.';
        QTest::newRow("exponent sign only") << QByteArray("1e+") << '.';
        QTest::newRow("exponent with fraction") << QByteArray("1e5.5") << '.';
        QTest::newRow("exponent alone") << QByteArray("e5") << '.';
        QTest::newRow("separator then exponent only") << QByteArray(".e5") << '.';
        QTest::newRow("double minus") << QByteArray("--1") << '.';
        QTest::newRow("plus minus") << QByteArray("+-1") << '.';
        QTest::newRow("sign only") << QByteArray("-") << '.';
        QTest::newRow("separator only") << QByteArray(",") << ',';
        QTest::newRow("sign and separator") << QByteArray("-,") << ',';
        QTest::newRow("point where comma is used") << QByteArray("1.5") << ',';
        QTest::newRow("comma where point is used") << QByteArray("1,5") << '.';
        QTest::newRow("inner blank") << QByteArray("1 000") << '.';
        QTest::newRow("blank after sign") << QByteArray("- 1") << '.';
        QTest::newRow("newline around") << QByteArray("\n5\n") << '.';
        QTest::newRow("trailing letter") << QByteArray("12a") << '.';
        QTest::newRow("underscore") << QByteArray("1_000") << '.';
        QTest::newRow("embedded NUL") << QByteArray(
                                             "1\0"
                                             "2",
                                             3)
                                      << '.';
        QTest::newRow("UTF-8 letter") << QByteArray("\xd0\x81") << '.';
        QTest::newRow("inf") << QByteArray("inf") << '.';
        QTest::newRow("INF") << QByteArray("INF") << '.';
        QTest::newRow("nan") << QByteArray("nan") << '.';
        QTest::newRow("hexadecimal") << QByteArray("0x10") << '.';
        QTest::newRow("overflow") << QByteArray("1e400") << '.';
        QTest::newRow("just above largest double") << QByteArray("1.7976931348623159e308") << '.';
        QTest::newRow("underflow") << QByteArray("1e-400") << '.';
        QTest::newRow("huge exponent") << QByteArray("1e99999999999999999999") << '.';
        QTest::newRow("ten thousand digits") << QByteArray("1" + QByteArray(10000, '0')) << '.';
    }

    void parseRejected() {
        QFETCH(QByteArray, text);
        QFETCH(char, separator);
        QVERIFY(!ParseDecimal(std::string_view(text.constData(), text.size()), separator));
    }

    // C typed by the user: either separator, at most 17 significant digits, -2 .. 2.
    void typedCoefficient() {
        QCOMPARE(ParseTypedCoefficient("-0.75", ',').value.value(), -0.75);
        QCOMPARE(ParseTypedCoefficient("-0,75", ',').value.value(), -0.75);
        QCOMPARE(ParseTypedCoefficient(" 2 ", '.').value.value(), 2.0);
        QCOMPARE(ParseTypedCoefficient("0.1000000000000000000", '.').value.value(), 0.1);
        QCOMPARE(ParseTypedCoefficient("-0.12345678901234567", '.').value.value(),
                 -0.12345678901234567);
        QCOMPARE(ParseTypedCoefficient("0.123456789012345678", '.').error,
                 std::string("Не больше 17 значащих цифр."));
        QCOMPARE(ParseTypedCoefficient("2.0000001", '.').error,
                 std::string("Число должно быть от -2 до 2."));
        QCOMPARE(ParseTypedCoefficient("-3", '.').error,
                 std::string("Число должно быть от -2 до 2."));
        for (const char* bad : {"", "abc", "1,5.2", "0x1", "nan", "--1", "1 5"}) {
            const TypedCoefficient typed = ParseTypedCoefficient(bad, ',');
            QVERIFY2(!typed.value && typed.error.rfind("Это не число", 0) == 0, bad);
        }
    }
};

QTEST_APPLESS_MAIN(TestNumberText)
#include "test_number_text.moc"
