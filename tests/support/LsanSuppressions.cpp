// Tells LeakSanitizer, in every test executable, to ignore GLib/GStreamer one-time allocations kept for the process.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions()
{
    return "leak:libglib-2.0.so\n"
           "leak:libgobject-2.0.so\n"
           "leak:libgstreamer-1.0.so\n";
}
