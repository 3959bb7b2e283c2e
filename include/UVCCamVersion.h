// The library's version, for hosts and tools that show which libuvccam they loaded.
#pragma once

#include "UVCCamExport.h"

namespace uvccam {

// "MAJOR.MINOR.PATCH" of the libuvccam.so that is loaded, as the build set it.
UVCCAM_EXPORT const char* libraryVersion();

}  // namespace uvccam
