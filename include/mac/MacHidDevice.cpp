// A HID interface's identity; the report transport is added on the HID service.
#include "mac/MacHidDevice.h"

MacHidDevice::~MacHidDevice() = default;
