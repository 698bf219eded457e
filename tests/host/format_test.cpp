#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "host/text.h"

namespace mixed::host {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

TEST(FormatNumber, CountsAreIntegersUnlessFractional) {
  EXPECT_EQ(format_number(12, Format::count()), "12");
  EXPECT_EQ(format_number(-3, Format::count()), "-3");
  EXPECT_EQ(format_number(0, Format::count()), "0");
  EXPECT_EQ(format_number(2.5, Format::count()), "2.5") << "fractional count, trailing zeros dropped";
  EXPECT_EQ(format_number(2.12345, Format::count()), "2.123") << "at most 3 decimals";
  EXPECT_EQ(format_number(123456789012.0, Format::count()), "123456789012");
  EXPECT_EQ(format_number(1e20, Format::count()), "1.00000E+20") << "beyond exact doubles";
}

TEST(FormatNumber, CoefficientsShowAboutSixSignificantDigits) {
  EXPECT_EQ(format_number(12.3456789, Format::coefficient()), "12.3457");
  EXPECT_EQ(format_number(-12.3456789, Format::coefficient()), "-12.3457");
  EXPECT_EQ(format_number(1.5, Format::coefficient()), "1.50000");
  EXPECT_EQ(format_number(0.123456789, Format::coefficient()), "0.123457");
  EXPECT_EQ(format_number(0.000123456789, Format::coefficient()), "0.00012346") << "capped at 8 decimals";
  EXPECT_EQ(format_number(123456.7, Format::coefficient()), "123457");
  EXPECT_EQ(format_number(98765432109.0, Format::coefficient()), "98765432109") << "no exponent below 1e12";
  EXPECT_EQ(format_number(1.234567e12, Format::coefficient()), "1.23457E+12");
  EXPECT_EQ(format_number(5e-7, Format::coefficient()), "5.00000E-07");
  EXPECT_EQ(format_number(-4e-9, Format::coefficient()), "-4.00000E-09");
  EXPECT_EQ(format_number(1e-6, Format::coefficient()), "0.00000100") << "1e-6 itself is ordinary";
  EXPECT_EQ(format_number(0.0, Format::coefficient()), "0");
  EXPECT_EQ(format_number(-0.0, Format::coefficient()), "0");
}

TEST(FormatNumber, FixedDecimalKinds) {
  EXPECT_EQ(format_number(0.04234, Format::significance()), "0.042");
  EXPECT_EQ(format_number(1.0, Format::significance()), "1.000");
  EXPECT_EQ(format_number(-0.99996, Format::correlation()), "-1.000");
  EXPECT_EQ(format_number(2.34567, Format::genstat()), "2.346");
  EXPECT_EQ(format_number(3.14159265, Format::mean()), "3.1416");
  EXPECT_EQ(format_number(3.14159265, Format::stddev()), "3.14159");
  EXPECT_EQ(format_number(100.0 / 3.0, Format::percent()), "33.3%");
  EXPECT_EQ(format_number(2.345678, Format::fixed(2)), "2.35");
  EXPECT_EQ(format_number(2.345678, Format::fixed(0)), "2");
  EXPECT_EQ(format_number(1.5, Format::print(8, 3)), "1.500");
  EXPECT_EQ(format_number(7.0, Format::print(8, 0)), "7");
  EXPECT_EQ(format_number(1.23456789, Format::fixed(-1)), "1.23457") << "no decimals given: as a coefficient";
  EXPECT_EQ(format_number(3.5e17, Format::mean()), "3.50000E+17") << "huge values take an exponent";
}

TEST(FormatNumber, NOrCoefficientKeepsIntegersWhole) {
  EXPECT_EQ(format_number(2.0, Format::n_or_coefficient()), "2");
  EXPECT_EQ(format_number(-1.0, Format::n_or_coefficient()), "-1");
  EXPECT_EQ(format_number(0.5, Format::n_or_coefficient()), "0.500000");
  EXPECT_EQ(format_number(1.0 / 3.0, Format::n_or_coefficient()), "0.333333");
}

TEST(FormatNumber, NeverNegativeZero) {
  EXPECT_EQ(format_number(-0.0001, Format::genstat()), "0.000");
  EXPECT_EQ(format_number(-0.0004, Format::significance()), "0.000");
  EXPECT_EQ(format_number(-0.4, Format::fixed(0)), "0");
  EXPECT_EQ(format_number(-0.04, Format::percent()), "0.0%");
  EXPECT_EQ(format_number(-0.0, Format::count()), "0");
  EXPECT_EQ(format_number(-0.00001, Format::mean()), "0.0000");
  EXPECT_EQ(format_number(-0.05, Format::genstat()), "-0.050") << "a real negative keeps its sign";
}

TEST(FormatNumber, MissingAndInfinite) {
  for (Format f : {Format::count(), Format::coefficient(), Format::significance(), Format::percent(), Format::fixed(2),
                   Format::print(8, 2), Format::n_or_coefficient()}) {
    EXPECT_EQ(format_number(kNaN, f), ".");
    EXPECT_EQ(format_number(kInf, f), "Inf");
    EXPECT_EQ(format_number(-kInf, f), "-Inf");
  }
}

TEST(FormatNumber, TextsOfNumbers) {
  // The machine form of a whole count is the integer; the display form follows the format.
  EXPECT_EQ(Text::integer(255).json(), "255");
  EXPECT_EQ(Text::number(0.25, Format::significance()).json(), "0.250");
  EXPECT_EQ(Text::number(kNaN, Format::genstat()).json(), ".");
  EXPECT_EQ(Text::number(1e20, Format::count()).json(), "1.00000E+20") << "too large for an integer";
  EXPECT_EQ(Text::number(kInf, Format::count()).json(), "Inf");
}

}  // namespace
}  // namespace mixed::host
