#pragma once
// What every verb's parser shares with the converter's own (ConvArgs.cpp): the one reading
// of a number and the one wording of CLI11's failures.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace CLI
{
class App;
}

// How many digits a number may have, leading zeros included: the window's sizes and the
// workers are counts, the PNG verbs' numbers reach 32 bits.
constexpr std::size_t CONV_COUNT_DIGITS = 5;
constexpr std::size_t CONV_VALUE_DIGITS = 10;

// Decimal digits only, at most nDigits of them, from nMin to nMax.
bool ConvParseNumber(std::string_view text, std::size_t nDigits, std::uint64_t nMin, std::uint64_t nMax,
                     std::uint32_t& nValue);

// Parses args (in their order) with app; false, with the usage error in the converter's
// words, when CLI11 refuses them.
bool ConvParseWithCli(CLI::App& app, const std::vector<std::string>& args, std::string& strError);
