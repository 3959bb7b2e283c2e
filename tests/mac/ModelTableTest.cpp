// The model table and the number readers that turn identity texts into what the core tests.
#include "mac/ModelTable.h"
#include "mac/TextNumbers.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

struct ModelCase {
    const char* productName;
    const char* expectedModel;  // "" for no model
};

class ModelTableLookup : public ::testing::TestWithParam<ModelCase> {};

TEST_P(ModelTableLookup, GivesTheFirstMatchingPrefixsModel)
{
    const ModelCase& c = GetParam();
    EXPECT_EQ(ModelTable::modelNameForProductName(QString::fromUtf8(c.productName)), QString::fromUtf8(c.expectedModel))
        << "product name: " << c.productName;
}

INSTANTIATE_TEST_SUITE_P(Names, ModelTableLookup,
    ::testing::Values(
        ModelCase{"RX710", "RX710"},
        ModelCase{"RX710 Conference Camera", "RX710"},
        ModelCase{"RX7100", "RX710"},
        ModelCase{"RX710X", "RX710"},
        ModelCase{"RX710+", "RX710+"},
        ModelCase{"RX710+ Conference Camera", "RX710+"},
        ModelCase{"LUM610 Webcam", "LUM610"},
        ModelCase{"RX240", "RX240"},
        ModelCase{"LUM630", "LUM630"},
        ModelCase{"LUM250", "LUM250"},
        ModelCase{"Corvane ST410", "ST410"},
        ModelCase{"Studio Caster LUM 470", "ST470"},
        ModelCase{"Studio Caster LUM 470 Pro", "ST470"},
        // Prefix tests are anchored, case-sensitive and need the whole prefix.
        ModelCase{"ST410", ""},
        ModelCase{"ST470", ""},
        ModelCase{"rx710", ""},
        ModelCase{"My RX710", ""},
        ModelCase{"RX71", ""},
        ModelCase{"LUM 610", ""},
        ModelCase{"", ""},
        ModelCase{"VOXA760", ""}));

TEST(ModelTableConstants, NameTheMakerAndTheSpeakerphoneModel)
{
    EXPECT_EQ(ModelTable::kMakerVendorId, 10811u);
    EXPECT_EQ(ModelTable::makerVendorHex(), QStringLiteral("2a3b"));
    EXPECT_EQ(ModelTable::speakerphoneModelName(), QStringLiteral("VOXA760"));
}

struct HexCase {
    const char* text;
    std::uint32_t expected;
};

class HexReading : public ::testing::TestWithParam<HexCase> {};

TEST_P(HexReading, ReadsLikeTheOperatingSystem)
{
    EXPECT_EQ(TextNumbers::hexUInt32(QString::fromUtf8(GetParam().text)), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, HexReading,
    ::testing::Values(HexCase{"0x14100000", 0x14100000u}, HexCase{"0X14100000", 0x14100000u},
                      HexCase{"14100000", 0x14100000u}, HexCase{"0xABCdef12", 0xABCDEF12u},
                      HexCase{"0x1410zz", 0x1410u}, HexCase{"0x", 0u}, HexCase{"", 0u}, HexCase{"xyz", 0u},
                      HexCase{"0xFFFFFFFF", 0xFFFFFFFFu}, HexCase{"0x100000000", 0xFFFFFFFFu},
                      HexCase{"0x141000002a3b2574", 0xFFFFFFFFu}));

struct DecimalCase {
    const char* text;
    std::int32_t expected;
};

class DecimalReading : public ::testing::TestWithParam<DecimalCase> {};

TEST_P(DecimalReading, ReadsASaturatedSignedNumber)
{
    EXPECT_EQ(TextNumbers::decimalInt32(QString::fromUtf8(GetParam().text)), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, DecimalReading,
    ::testing::Values(DecimalCase{"10811", 10811}, DecimalCase{"  42", 42}, DecimalCase{"-1", -1},
                      DecimalCase{"+7", 7}, DecimalCase{"255abc", 255}, DecimalCase{"abc", 0}, DecimalCase{"", 0},
                      DecimalCase{"- 5", 0}, DecimalCase{"2147483647", INT32_MAX},
                      DecimalCase{"2147483648", INT32_MAX}, DecimalCase{"99999999999999999999", INT32_MAX},
                      DecimalCase{"-2147483648", INT32_MIN}, DecimalCase{"-2147483649", INT32_MIN}));

}  // namespace
