// Services of the desktop session for the host application: hiding and showing it, launching it at login, its processor load.
#pragma once

#include "UVCCamExport.h"

#include <cstdint>

namespace uvccam::platform {
struct ProcessSerialNumber;
}

// The host constructs and calls it on its main thread; nothing in the library uses it,
// and it touches no device. Each call goes to the installed platform's services.
class UVCCAM_EXPORT MacAppServiceOC {
public:
    MacAppServiceOC();
    ~MacAppServiceOC();

    void init();

    // False hides the application in front and remembers it; true shows the remembered
    // application again and brings it to the front. Returns the status of the last
    // request to the session (hiding, or bringing to the front): 0 when it was done,
    // otherwise the session's refusal, such as -600 when showing before anything was
    // hidden or when nothing was in front to hide.
    int hideShowWindowFromDock(bool show);

    // True adds the application at the end of the user's login items, shown (not hidden)
    // when it starts; false removes every login item that points to exactly its path.
    // Items that point nowhere any more are left alone. The path is the platform's: the
    // running executable on Linux (an XDG autostart entry), "/Applications/Vantora.app" on
    // the simulated session.
    void setLaunchOnLogin(bool enable);

    // The process's processor load now, in percent of one processor summed over its
    // threads (two busy threads make 200); a thread that ends while the threads are read
    // counts for nothing. -1.0 when the process's threads cannot be read.
    float getCPULoading();

    // The application hidden last; no process until something is hidden.
    uvccam::platform::ProcessSerialNumber rememberedProcess() const;

private:
    // A process serial number, high half then low, held as plain halves so that a host
    // needs no platform header to include this one.
    struct SerialNumber {
        std::uint32_t high = 0;
        std::uint32_t low = 0;
    };

    SerialNumber rememberedProcess_;
};
