/* Plain entry points for hosts without Qt, in C or C++: switch every attached ST470 into
   transfer mode 1. (Named apart from UVCCam.h so the two never clash on a case-blind
   filesystem.) */
#pragma once

#include "UVCCamExport.h"

#ifdef __cplusplus

class UVCCam;

// The handle the entry points pass around; it owns a camera object of its own.
class UVCCAM_EXPORT Uvccam {
public:
    Uvccam();
    virtual ~Uvccam();

    Uvccam(const Uvccam&) = delete;
    Uvccam& operator=(const Uvccam&) = delete;

    // True when at least one ST470 was selected, read and found not in mode 1 (whether or
    // not the switch then took); blocks for the whole run.
    bool updateUvcCamTransferMode();

    UVCCam* uvcCam = nullptr;
};

extern "C" {

#else

#include <stdbool.h>

/* To C the handle is opaque: only the library makes, uses and destroys it. */
typedef struct Uvccam Uvccam;

#endif

/* A new handle. Making one makes a new device core, which every camera object then uses. */
UVCCAM_EXPORT Uvccam* createUvcCamControl(void);
/* Destroys the handle and its camera object; none is ignored. */
UVCCAM_EXPORT void disposeUvcCamControl(Uvccam* handle);
/* The handle's updateUvcCamTransferMode(); false for none. */
UVCCAM_EXPORT bool updateUvcCamTransferMode(Uvccam* handle);

#ifdef __cplusplus
}
#endif
