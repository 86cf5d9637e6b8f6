#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "converter/steps.hpp"
#include "converter_test_image.hpp"
#include "glyphloom/glyphloom.hpp"

namespace glyphloom {
namespace {

using testing::converted;
using testing::converter_with;
using testing::meta_tags;

Glyphloom operand_converter() {
  return converter_with({
      {"x", "\u03B1"},            // a one-byte name, never looked up for an operand
      {"ligature ff", "\uFB00"},  // a pair whose characters have forms too
      {"ligature f", "F"},
      {"ligature fi", "\uFB01"},
      {"swash blank", ""},  // an empty composed text
      {"bold a-b", "AB"},   // a dashed whole run
  });
}

struct OperandCase {
  std::string modifier, word;
  std::vector<std::string_view> effects;
  std::string text;
};

class ConverterOperand : public ::testing::TestWithParam<OperandCase> {};

TEST_P(ConverterOperand, ConvertsOneOperand) {
  const auto& c = GetParam();
  EXPECT_EQ(detail::operand(operand_converter(), c.modifier, c.word, c.effects, 0), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConverterOperand,
    ::testing::Values(
        OperandCase{"greek", "alpha", {}, "\u03B1"}, OperandCase{"bold", "alpha", {}, "\U0001D6C2"},
        OperandCase{"bold", "ab", {}, "\U0001D41A\U0001D41B"},
        OperandCase{"red", "a", {}, "a\U000E0072"}, OperandCase{"bold", "%", {}, "%"},
        OperandCase{"bold", "x", {}, "x"}, OperandCase{"ligature", "ff", {}, "\uFB00"},
        OperandCase{"ligature", "fff", {}, "\uFB00F"},
        OperandCase{"ligature", "ffi", {}, "\uFB00i"},  // pairs never overlap
        OperandCase{"bold", "ab", {"red"}, "\U0001D41A\U000E0072\U0001D41B\U000E0072"},
        OperandCase{"bold", "%", {"iconic"}, "%\uFE0F"},
        // An effect modifier goes first among the effects, which are not added twice.
        OperandCase{"red", "a", {"mirror"}, "a\U000E0072\U000E004D"},
        OperandCase{"red", "\u4E2D", {}, "\u4E2D" + meta_tags(MetaKind::Attached, "color", "red")},
        // Empty texts: the effects follow a space.
        OperandCase{"bold", "", {}, ""}, OperandCase{"bold", "", {"red"}, "\U000E0072"},
        OperandCase{"swash", "blank", {"iconic"}, "\uFE0F"}));

struct OperandsCase {
  std::string modifier, text;
  std::vector<std::string_view> effects;
  std::string result;
};

class ConverterOperands : public ::testing::TestWithParam<OperandsCase> {};

TEST_P(ConverterOperands, ConvertsARun) {
  const auto& c = GetParam();
  EXPECT_EQ(detail::operands(operand_converter(), c.modifier, c.text, c.effects, 0), c.result);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConverterOperands,
    ::testing::Values(
        OperandsCase{"above", "\u65E5 \u6708", {}, "\u2FF1\u65E5\u6708"},
        OperandsCase{"above", "sun  moon", {"red"}, "\u2FF1\u65E5\u6708"},  // no effects
        OperandsCase{"beside", "\U00013000 \U00013001", {}, "\U00013000\U00013431\U00013001"},
        // The first piece's script rules the whole group.
        OperandsCase{"beside", "\U00013000 \u65E5 a", {}, "\U00013000\U00013431\u65E5\U00013431a"},
        OperandsCase{"above", "\u65E5 \U00013000", {}, "\u2FF1\u65E5\U00013000"},
        OperandsCase{"above", "a b", {}, "ab"}, OperandsCase{"above", "   ", {}, ""},
        OperandsCase{"greek", " alpha  beta ", {}, "\u03B1\u03B2"},
        OperandsCase{"greek", "a b", {"red"}, "\u03B1\U000E0072\u03B2\U000E0072"},
        // Any whitespace separates the words of the whole run; only spaces split pieces.
        OperandsCase{"gardiner", "noble\ton\nchair", {}, "\U00013008"},
        OperandsCase{"bold", "a\tb", {}, "AB"},
        OperandsCase{"greek", "a\tb", {}, "\u03B1\t\u03B2"}));

TEST(ConverterOperands, WarningsCarryTheTagOffset) {
  const auto check = [](std::string source, std::string text, std::vector<Warning> warnings) {
    const Converted result = converted(operand_converter(), source);
    EXPECT_EQ(result.text, text) << source;
    EXPECT_EQ(result.warnings, warnings) << source;
  };
  check("..<:bold %a>", "..%\U0001D41A", {{"no bold form of %", 2}});
  check("<:above a b>", "ab", {{"no above group of a", 0}});
  check("<:above >", "", {});
  check("<:gardiner noble on chair>", "\U00013008", {});
}

}  // namespace
}  // namespace glyphloom
