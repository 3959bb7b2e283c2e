// The plain function types through which the library calls back into the host.
#pragma once

// Receives each video frame, in place and valid only during the call: packed 4:2:2 Y'CbCr
// ('2vuy'), `width` by `height` pixels, `size` bytes.
using VideoFrameCallback = void (*)(unsigned char* frame, int width, int height, int size);
// Receives the microphone level while a test clip records.
using AudioLevelCallback = void (*)(float level);
// Receives a device's unique ID as NUL-terminated UTF-8, valid only during the call.
using DeviceIdCallback = void (*)(char* uniqueId);
// A HID device has become usable.
using HidReadyCallback = void (*)();
// Receives the Qt key value of a pressed global hot key.
using HotKeyCallback = void (*)(int key);
