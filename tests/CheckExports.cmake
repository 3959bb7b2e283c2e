# Checks that libuvccam.so exports the public interface and hides the rest.
execute_process(COMMAND nm -D --defined-only -C ${LIBRARY} OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
foreach(expected "acquireUVCCam()" " macUVCCamOC" " calbackObject" "MacUVCCam::staticMetaObject"
        "uvccam::sim::attachCamera(QString const&)" "uvccam::sim::useSimulatedDevices()"
        "MacAppServiceOC::getCPULoading()" "HKHotKeyCenter::sharedHotKeyCenter()"
        "HKStringFromKeyCode(" "uvccam::platform::KeyEvent::description() const"
        "uvccam::sim::pressHotKey(" "uvccam::setDiagnosticHandler(" "uvccam::libraryVersion()")
    string(FIND "${symbols}" "${expected}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "libuvccam.so does not export ${expected}")
    endif()
endforeach()
foreach(hidden "RunLoopVirtual" "CaptureServiceSim" "uvccam::internal::" "uvccam::platform::Platform::current")
    string(FIND "${symbols}" "${hidden}" at)
    if(NOT at EQUAL -1)
        message(FATAL_ERROR "libuvccam.so exports an internal symbol: ${hidden}")
    endif()
endforeach()
# The plain entry points and the HID buffers are exported under their own, unmangled names.
execute_process(COMMAND nm -D --defined-only ${LIBRARY} OUTPUT_VARIABLE raw RESULT_VARIABLE result)
foreach(plain createUvcCamControl disposeUvcCamControl updateUvcCamTransferMode input_buffer report_buffer)
    string(REGEX MATCH " [TDB] ${plain}\n" found "${raw}")
    if(NOT found)
        message(FATAL_ERROR "libuvccam.so does not export the plain name ${plain}")
    endif()
endforeach()
message(STATUS "exports ok")
