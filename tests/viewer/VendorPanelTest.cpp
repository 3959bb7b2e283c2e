// Vendor properties over both routes, with the device's answer shown in hex.
#include "ViewerWorld.h"

#include "VendorPanel.h"

namespace uvccamviewer::testing {

namespace {

struct VendorRequest {
    const char* name;
    VendorPanel::Route route;
    int unit;
    int selector;
    const char* bytes;
    const char* answer;
};

class SettingAVendorProperty : public ViewerWorld, public ::testing::WithParamInterface<VendorRequest> {};

TEST_P(SettingAVendorProperty, ShowsTheResultAndTheDevicesAnswer)
{
    const VendorRequest& request = GetParam();
    VendorPanel& panel = window().vendor();
    panel.setRequest(request.route, request.unit, request.selector, QLatin1String(request.bytes));

    EXPECT_EQ(panel.set(), 0);
    EXPECT_EQ(panel.resultText(), "0");
    EXPECT_EQ(panel.answerText(), request.answer);
    EXPECT_TRUE(statusText().contains("done, reads back")) << statusText().toStdString();
}

TEST_F(ViewerWorld, GettingAnExtensionUnitPropertyShowsWhatWasWrittenThere)
{
    VendorPanel& panel = window().vendor();
    panel.setRequest(VendorPanel::Route::Uvc, 1, 4, "beef");
    ASSERT_EQ(panel.set(), 0);
    panel.setRequest(VendorPanel::Route::Uvc, 1, 4, "00 00");

    EXPECT_EQ(panel.get(), 0);
    EXPECT_EQ(panel.answerText(), "be ef");
    EXPECT_EQ(statusText(), "getExProperty(selector 4, 2 bytes, unit 1) over UVC: read be ef");
}

INSTANTIATE_TEST_SUITE_P(
    Rx710, SettingAVendorProperty,
    ::testing::Values(VendorRequest{"HidSelector3", VendorPanel::Route::Hid, 1, 3, "a5 5a", "a5 5a"},
                      VendorRequest{"UvcSelector4", VendorPanel::Route::Uvc, 1, 4, "1234", "12 34"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

struct HexCase {
    const char* text;
    bool valid;
};

class ReadingHexBytes : public ::testing::TestWithParam<HexCase> {};

TEST_P(ReadingHexBytes, TakesWholeBytesWithOrWithoutSpaces)
{
    EXPECT_EQ(parseHexBytes(QLatin1String(GetParam().text)).has_value(), GetParam().valid) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, ReadingHexBytes,
                         ::testing::Values(HexCase{"a55a", true}, HexCase{"A5 5a 00", true}, HexCase{"", false},
                                           HexCase{"a5 5", false}, HexCase{"0x12", false}, HexCase{"zz", false}));

}  // namespace

}  // namespace uvccamviewer::testing
