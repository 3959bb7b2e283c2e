// The model table and the number readers that turn identity texts into what the core tests.
#include "mac/ModelTable.h"
#include "mac/TextNumbers.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <climits>
#include <utility>

namespace {

template <typename T>
using Rows = std::initializer_list<std::pair<const char*, T>>;

TEST(ModelTable, GivesTheFirstMatchingPrefixsModel)
{
    // Prefix tests are anchored, case-sensitive and need the whole prefix; "RX710+" is told
    // apart from the plain model's prefix after it. "" for no model.
    for (const auto& [productName, model] : Rows<const char*>{
             {"RX710", "RX710"}, {"RX710 Conference Camera", "RX710"}, {"RX7100", "RX710"}, {"RX710+", "RX710+"},
             {"RX710+ Conference Camera", "RX710+"}, {"RX710 +", "RX710"}, {"LUM610 Webcam", "LUM610"},
             {"RX240", "RX240"}, {"LUM630", "LUM630"}, {"LUM250", "LUM250"}, {"Corvane ST410", "ST410"},
             {"Studio Caster LUM 470 Pro", "ST470"}, {"ST410", ""}, {"ST470", ""}, {"rx710", ""}, {"My RX710", ""},
             {"RX71", ""}, {"LUM 610", ""}, {"", ""}, {"VOXA760", ""}})
        EXPECT_EQ(ModelTable::modelNameForProductName(productName), QString(model)) << productName;
}

TEST(TextNumbers, HexReadsLikeTheOperatingSystem)
{
    for (const auto& [text, value] : Rows<std::uint32_t>{
             {"0x14100000", 0x14100000u}, {"0X14100000", 0x14100000u}, {"14100000", 0x14100000u},
             {"0xABCdef12", 0xABCDEF12u}, {"0x1410zz", 0x1410u}, {"0x", 0u}, {"", 0u}, {"xyz", 0u},
             {"0xFFFFFFFF", 0xFFFFFFFFu}, {"0x100000000", 0xFFFFFFFFu}})
        EXPECT_EQ(TextNumbers::hexUInt32(text), value) << text;
}

TEST(TextNumbers, DecimalReadsASaturatedSignedNumber)
{
    for (const auto& [text, value] : Rows<std::int32_t>{
             {"  42", 42}, {"-1", -1}, {"+7", 7}, {"255abc", 255}, {"abc", 0}, {"", 0}, {"- 5", 0},
             {"2147483647", INT32_MAX}, {"2147483648", INT32_MAX}, {"99999999999999999999", INT32_MAX},
             {"-2147483648", INT32_MIN}, {"-2147483649", INT32_MIN}})
        EXPECT_EQ(TextNumbers::decimalInt32(text), value) << text;
}

}  // namespace
