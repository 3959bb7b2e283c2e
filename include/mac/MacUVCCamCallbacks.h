// The camera interface's callbacks and its process-wide reset: the library's own side of
// MacUVCCam, kept out of the header a host includes.
#pragma once

// The callbacks the core hands to the managers. Each reaches the newest camera-interface
// object; once that object is gone the core's own work still happens, but no signal.
void onDeviceConnected(char* uniqueId);
void onDeviceDisconnected(char* uniqueId);
void onHidDeviceReady();
void onHidDeviceRemoved(char* uniqueId);
void onHotKeyPressed(int key);
void onUpdateVol(float level);

namespace uvccam::internal {
// Destroys every core made so far and clears both process-wide variables, for a
// process that starts over on another platform (tests do).
void discardAllCores();
}  // namespace uvccam::internal
