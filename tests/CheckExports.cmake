# What libuvccam.so and libuvccam-widgets.so export: every symbol is one of the interface's
# below, and the ones a host or the widgets library links against are there.
# Arguments: LIBRARY, WIDGETS_LIBRARY.

# Demangled names, one per line, with "typeinfo for", "vtable for" and the like taken off:
# a class's typeinfo and vtable belong to the class.
function(exported_names library result)
    execute_process(COMMAND nm -D --defined-only -C ${library} OUTPUT_VARIABLE listing RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "nm failed on ${library}")
    endif()
    string(REGEX REPLACE "[^\n]* [A-Za-z] ([^\n]*)" "\\1" listing "${listing}")
    string(REGEX REPLACE "(^|\n)(typeinfo name for|typeinfo for|vtable for|non-virtual thunk to) " "\\1" listing "${listing}")
    string(REPLACE ";" "," listing "${listing}")
    string(STRIP "${listing}" listing)
    string(REPLACE "\n" ";" listing "${listing}")
    set(${result} "${listing}" PARENT_SCOPE)
endfunction()

function(check_only_allowed library)
    exported_names(${library} names)
    foreach(name IN LISTS names)
        set(allowed FALSE)
        foreach(pattern IN LISTS ARGN)
            if(name MATCHES "${pattern}")
                set(allowed TRUE)
                break()
            endif()
        endforeach()
        if(NOT allowed)
            message(FATAL_ERROR "${library} exports a symbol outside its interface: ${name}")
        endif()
    endforeach()
    set(names "${names}" PARENT_SCOPE)
endfunction()

# The linker's own markers of the data segment's end, and AddressSanitizer's indicators
# of the exported variables in a sanitized build.
set(linker_markers "^(__bss_start|_edata|_end|_init|_fini)$" "^__odr_asan\\.")

# The core: the camera interface and its implementation (for qobject_cast and the signals),
# the plain entry points with their handle, the process-wide variables hosts may read, the
# application services, the observer protocol of the camera list, the simulation and
# diagnostics APIs, and the hot-key classes with the key event they pass, which hosts and
# the widgets library use. The widgets library logs through the core's log, so that one
# diagnostic handler hears both.
check_only_allowed(${LIBRARY}
    "^(UVCCam|MacUVCCam|Uvccam|MacAppServiceOC|MacCameraManagerDelegate|HKHotKey|HKHotKeyCenter)(::|$)"
    "^(acquireUVCCam|HKStringFromKeyCode|HKCarbonModifierFlagsFromCocoaModifiers)\\("
    "^(macUVCCamOC|calbackObject|input_buffer|report_buffer)$"
    "^(createUvcCamControl|disposeUvcCamControl|updateUvcCamTransferMode)$"
    "^uvccam::sim::"
    "^uvccam::(setDiagnosticHandler|diagnosticChannelName|libraryVersion)\\("
    "^uvccam::platform::KeyEvent::"
    "^uvccam::platform::writeLog\\("
    "${linker_markers}")
set(core_names "${names}")

check_only_allowed(${WIDGETS_LIBRARY}
    "^HKHotKeyTextField(Cell|Editor)?(::|$)"
    "${linker_markers}")
set(widgets_names "${names}")

function(expect_exported names library)
    foreach(expected IN LISTS ARGN)
        list(FIND names "${expected}" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "${library} does not export ${expected}")
        endif()
    endforeach()
endfunction()

expect_exported("${core_names}" ${LIBRARY}
    "acquireUVCCam()" "MacUVCCam::staticMetaObject" "MacUVCCam::deviceAdd()" "MacUVCCam::keyPressed(int, bool)"
    "macUVCCamOC" "calbackObject" "input_buffer" "report_buffer"
    "createUvcCamControl" "disposeUvcCamControl" "updateUvcCamTransferMode"
    "MacAppServiceOC::getCPULoading()" "MacCameraManagerDelegate"
    "uvccam::sim::attachCamera(QString const&)" "uvccam::sim::useSimulatedDevices()"
    "uvccam::setDiagnosticHandler(std::function<void (uvccam::DiagnosticChannel, QString const&)>)"
    "uvccam::libraryVersion()" "uvccam::platform::KeyEvent::description() const"
    "HKHotKeyCenter::sharedHotKeyCenter()" "HKStringFromKeyCode(unsigned short, unsigned long)")
expect_exported("${widgets_names}" ${WIDGETS_LIBRARY}
    "HKHotKeyTextField::staticMetaObject" "HKHotKeyTextField::setHotKey(std::shared_ptr<HKHotKey>)")

# The entry points and the HID buffers keep their plain, unmangled names.
execute_process(COMMAND nm -D --defined-only ${LIBRARY} OUTPUT_VARIABLE raw)
foreach(plain createUvcCamControl disposeUvcCamControl updateUvcCamTransferMode input_buffer report_buffer)
    if(NOT raw MATCHES " [TDB] ${plain}\n")
        message(FATAL_ERROR "${LIBRARY} does not export the plain name ${plain}")
    endif()
endforeach()
message(STATUS "exports ok")
