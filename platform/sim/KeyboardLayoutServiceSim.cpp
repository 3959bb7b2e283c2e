// Hands out the simulated US layout as the scripted input sources have it.
#include "platform/sim/KeyboardLayoutServiceSim.h"

namespace uvccam::platform {

KeyboardLayoutServiceSim::KeyboardLayoutServiceSim() : usLayout_(std::make_shared<KeyboardLayoutSim>()) {}

std::shared_ptr<const KeyboardLayout> KeyboardLayoutServiceSim::currentKeyboardLayout() const
{
    if (layoutData_ != LayoutData::CurrentSource)
        return nullptr;
    return usLayout_;
}

std::shared_ptr<const KeyboardLayout> KeyboardLayoutServiceSim::currentAsciiCapableKeyboardLayout() const
{
    if (layoutData_ == LayoutData::None)
        return nullptr;
    return usLayout_;
}

}  // namespace uvccam::platform
