// Showing the attached devices and the selected one; used by list, info, watch and the demo.
#pragma once

#include "Session.h"

namespace uvccamctl {

void printDeviceTable(Session& session);
void printDeviceInfo(Session& session);

}  // namespace uvccamctl
