// The simulated keyboard-layout service: which layout data the current input sources offer.
#pragma once

#include "platform/KeyboardLayoutService.h"
#include "platform/sim/KeyboardLayoutSim.h"

#include <cstdint>
#include <memory>

namespace uvccam::platform {

// One US layout serves both input sources. Tests script what the system offers: by
// default the current source has the layout data; an input method as the current source
// has none, and the ASCII-capable layout stands in; with no layout at all, neither has.
class KeyboardLayoutServiceSim : public KeyboardLayoutService {
public:
    enum class LayoutData {
        CurrentSource,        // both sources have the layout data
        AsciiCapableOnly,     // the current source has none, the ASCII-capable layout has
        None,                 // neither has
    };

    // An ANSI keyboard.
    static constexpr std::uint8_t kDefaultKeyboardType = 40;

    KeyboardLayoutServiceSim();

    std::shared_ptr<const KeyboardLayout> currentKeyboardLayout() const override;
    std::shared_ptr<const KeyboardLayout> currentAsciiCapableKeyboardLayout() const override;
    std::uint8_t keyboardType() const override { return keyboardType_; }

    void setLayoutData(LayoutData layoutData) { layoutData_ = layoutData; }
    LayoutData layoutData() const { return layoutData_; }
    void setKeyboardType(std::uint8_t keyboardType) { keyboardType_ = keyboardType; }
    // The layout both sources hand out, with the translations asked of it.
    const KeyboardLayoutSim& usLayout() const { return *usLayout_; }

private:
    std::shared_ptr<KeyboardLayoutSim> usLayout_;
    LayoutData layoutData_ = LayoutData::CurrentSource;
    std::uint8_t keyboardType_ = kDefaultKeyboardType;
};

}  // namespace uvccam::platform
