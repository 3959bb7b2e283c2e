// The version the build gives the library: the project's version, set once in CMake.
#include "UVCCamVersion.h"

#ifndef UVCCAM_VERSION
#error "UVCCAM_VERSION comes from the build (CMakeLists.txt); build the library with CMake"
#endif

namespace uvccam {

const char* libraryVersion()
{
    return UVCCAM_VERSION;
}

}  // namespace uvccam
