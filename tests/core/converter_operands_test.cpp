#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "converter_test_image.hpp"
#include "glyphloom/glyphloom.hpp"

namespace glyphloom {
namespace {

using testing::converted;
using testing::converter_with;
using testing::meta_tags;

Glyphloom operand_converter() {
  return converter_with({
      {"x", "\u03B1"},              // a one-byte name that an operand must never resolve
      {"ligature ff", "\uFB00"},    // a pair form whose characters also have forms
      {"ligature f", "F"},
      {"ligature fi", "\uFB01"},
      {"swash ", ""},               // an empty composed text
      {"swash blank", ""},
      {"bold a-b", "AB"},           // a dashed whole run
  });
}

struct OperandCase {
  std::string modifier;
  std::string word;
  std::vector<std::string_view> effects;
  std::string text;
};

class ConverterOperand : public ::testing::TestWithParam<OperandCase> {};

TEST_P(ConverterOperand, ConvertsOneOperand) {
  const auto& c = GetParam();
  EXPECT_EQ(operand_converter().operand(c.modifier, c.word, c.effects, 0), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConverterOperand,
    ::testing::Values(
        OperandCase{"greek", "alpha", {}, "\u03B1"},             // composed key
        OperandCase{"bold", "alpha", {}, "\U0001D6C2"},          // through the entity's text
        OperandCase{"bold", "ab", {}, "\U0001D41A\U0001D41B"},   // character by character
        OperandCase{"red", "a", {}, "a\U000E0072"},              // the modifier is an effect
        OperandCase{"bold", "%", {}, "%"},                       // no form: unchanged
        OperandCase{"bold", "x", {}, "x"},                       // "x" is not looked up
        OperandCase{"ligature", "ff", {}, "\uFB00"},             // the pair wins
        OperandCase{"ligature", "fff", {}, "\uFB00F"},           // pair, then the rest alone
        OperandCase{"ligature", "ffi", {}, "\uFB00i"},           // pairs never overlap
        OperandCase{"bold", "a", {"red"}, "\U0001D41A\U000E0072"},
        OperandCase{"bold", "ab", {"red"}, "\U0001D41A\U000E0072\U0001D41B\U000E0072"},
        OperandCase{"bold", "%", {"iconic"}, "%\uFE0F"},
        // The effect modifier goes first, and the other effects are not added twice.
        OperandCase{"red", "a", {"mirror"}, "a\U000E0072\U000E004D"},
        OperandCase{"red", "\u4E2D", {}, "\u4E2D" + meta_tags(MetaKind::Attached, "color", "red")},
        // An empty operand is the marker key: nothing but its effects after a space.
        OperandCase{"bold", "", {}, ""}, OperandCase{"bold", "", {"red"}, "\U000E0072"},
        // An empty composed text: effects follow a space.
        OperandCase{"swash", "blank", {"iconic"}, "\uFE0F"}));

struct OperandsCase {
  std::string modifier;
  std::string text;
  std::vector<std::string_view> effects;
  std::string result;
};

class ConverterOperands : public ::testing::TestWithParam<OperandsCase> {};

TEST_P(ConverterOperands, ConvertsARun) {
  const auto& c = GetParam();
  EXPECT_EQ(operand_converter().operands(c.modifier, c.text, c.effects, 0), c.result);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConverterOperands,
    ::testing::Values(
        OperandsCase{"above", "\u65E5 \u6708", {}, "\u2FF1\u65E5\u6708"},
        OperandsCase{"above", "sun  moon", {}, "\u2FF1\u65E5\u6708"},  // names, empty pieces
        OperandsCase{"beside", "\U00013000 \U00013001", {}, "\U00013000\U00013431\U00013001"},
        OperandsCase{"above", "\U00013000 \U00013001 \U00013002", {},
                     "\U00013000\U00013430\U00013001\U00013430\U00013002"},
        // The first piece's script rules the whole group.
        OperandsCase{"beside", "\U00013000 \u65E5", {}, "\U00013000\U00013431\u65E5"},
        OperandsCase{"above", "\u65E5 \U00013000", {}, "\u2FF1\u65E5\U00013000"},
        OperandsCase{"above", "a b", {}, "ab"},
        // Group operands take no effects.
        OperandsCase{"above", "\u65E5 \u6708", {"red"}, "\u2FF1\u65E5\u6708"},
        OperandsCase{"greek", "alpha beta", {}, "\u03B1\u03B2"},
        OperandsCase{"greek", " a  b ", {}, "\u03B1\u03B2"},
        OperandsCase{"gardiner", "noble on chair", {}, "\U00013008"},
        // Tabs and line feeds separate words of the whole run, not pieces.
        OperandsCase{"gardiner", "noble\ton\nchair", {}, "\U00013008"},
        OperandsCase{"bold", "a\tb", {}, "AB"},
        OperandsCase{"greek", "a\tb", {}, "\u03B1\t\u03B2"},
        OperandsCase{"bold", "", {}, ""}, OperandsCase{"above", "   ", {}, ""},
        OperandsCase{"greek", "a b", {"red"}, "\u03B1\U000E0072\u03B2\U000E0072"}));

struct RunWarningCase {
  std::string source;
  std::string text;
  std::vector<Warning> warnings;
};

class ConverterOperandWarnings : public ::testing::TestWithParam<RunWarningCase> {};

TEST_P(ConverterOperandWarnings, CarryTheTagOffset) {
  const auto& c = GetParam();
  const Converted result = converted(operand_converter(), c.source);
  EXPECT_EQ(result.text, c.text);
  EXPECT_EQ(result.warnings, c.warnings);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConverterOperandWarnings,
    ::testing::Values(
        RunWarningCase{"..<:bold %a>", "..%\U0001D41A", {{"no bold form of %", 2}}},
        RunWarningCase{"<:above a b>", "ab", {{"no above group of a", 0}}},
        RunWarningCase{"<:above sun moon>", "\u2FF1\u65E5\u6708", {}},
        RunWarningCase{"<:above >", "", {}},
        RunWarningCase{"<:greek a\tb>", "\u03B1\t\u03B2", {{"no greek form of \t", 0}}}));

}  // namespace
}  // namespace glyphloom
