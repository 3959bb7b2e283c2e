# Installs the build into a fresh prefix and builds the examples against it as a host
# developer would: the Qt host and the hot-key field with find_package and with pkg-config
# (all run on the simulator), the C program with pkg-config (run on a machine with no ST470).
# Arguments: BUILD_DIR, SOURCE_DIR, WORK_DIR, LIBDIR, VERSION, CXX, CC, CXX_FLAGS.
set(prefix "${WORK_DIR}/prefix")
file(REMOVE_RECURSE "${WORK_DIR}")

include(${CMAKE_CURRENT_LIST_DIR}/RunCommand.cmake)

run(${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}")

string(REGEX MATCH "^[0-9]+" major "${VERSION}")
foreach(installed
        "${LIBDIR}/libuvccam.so.${VERSION}" "${LIBDIR}/libuvccam.so.${major}" "${LIBDIR}/libuvccam.so"
        "${LIBDIR}/libuvccam-widgets.so.${major}"
        include/uvccam/UVCCam.h include/uvccam/UvccamEntryPoints.h include/uvccam/mac/MacUVCCam.h
        include/uvccam/hotkey/HKHotKeyTextField.h lib/udev/rules.d/70-uvccam.rules
        "${LIBDIR}/cmake/uvccam/uvccamConfig.cmake" "${LIBDIR}/pkgconfig/uvccam.pc"
        "${LIBDIR}/pkgconfig/uvccam-widgets.pc")
    if(NOT EXISTS "${prefix}/${installed}")
        message(FATAL_ERROR "not installed: ${installed}")
    endif()
endforeach()
foreach(internal platform include/uvccam/platform include/uvccam/mac/MacUVCCamOC.h)
    if(EXISTS "${prefix}/${internal}")
        message(FATAL_ERROR "an internal part was installed: ${internal}")
    endif()
endforeach()
run(objdump -p "${prefix}/${LIBDIR}/libuvccam.so.${VERSION}")
if(NOT run_output MATCHES "SONAME +libuvccam\\.so\\.${major}\n")
    message(FATAL_ERROR "libuvccam.so has no SONAME libuvccam.so.${major}:\n${run_output}")
endif()

set(ENV{LD_LIBRARY_PATH} "${prefix}/${LIBDIR}")
separate_arguments(extra UNIX_COMMAND "${CXX_FLAGS}")

# What the Qt host example prints on the simulator, however it was built.
function(check_qt_host program)
    run("${program}" --simulate)
    foreach(line "libuvccam ${VERSION}" "1 device(s)" "first frame: 640 x 360" "frames in a second: about 30"
            "a device arrived" "a device left")
        string(FIND "${run_output}" "${line}\n" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "${program} did not print '${line}':\n${run_output}")
        endif()
    endforeach()
endfunction()

# find_package(uvccam) and uvccam::uvccam.
run(${CMAKE_COMMAND} -S "${SOURCE_DIR}/examples/qt-host" -B "${WORK_DIR}/qt-host-cmake"
    "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_COMPILER=${CXX}" "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}")
run(${CMAKE_COMMAND} --build "${WORK_DIR}/qt-host-cmake")
check_qt_host("${WORK_DIR}/qt-host-cmake/qt-host")

# What the hot-key field example prints on the simulator, with no display: Qt's minimal
# platform, which (unlike offscreen) frees the screen it makes.
set(ENV{QT_QPA_PLATFORM} minimal)
function(check_hotkey_field program)
    run("${program}" --simulate)
    if(NOT run_output STREQUAL "the field shows ⌥⌘L\nhot key pressed\nhot key released\n")
        message(FATAL_ERROR "${program} printed:\n${run_output}")
    endif()
endfunction()

# find_package(uvccam) and uvccam::widgets.
run(${CMAKE_COMMAND} -S "${SOURCE_DIR}/examples/hotkey-field" -B "${WORK_DIR}/hotkey-field-cmake"
    "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_COMPILER=${CXX}" "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}")
run(${CMAKE_COMMAND} --build "${WORK_DIR}/hotkey-field-cmake")
check_hotkey_field("${WORK_DIR}/hotkey-field-cmake/hotkey-field")

# pkg-config --cflags --libs uvccam, for the Qt host and for the C program.
set(ENV{PKG_CONFIG_PATH} "${prefix}/${LIBDIR}/pkgconfig")
run(pkg-config --cflags --libs uvccam)
string(STRIP "${run_output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
run("${CXX}" -std=c++17 -fPIC ${extra} "${SOURCE_DIR}/examples/qt-host/main.cpp" ${flags}
    -o "${WORK_DIR}/qt-host-pkg-config")
check_qt_host("${WORK_DIR}/qt-host-pkg-config")
run("${CC}" -std=c99 ${extra} "${SOURCE_DIR}/examples/c-transfer-mode/main.c" ${flags}
    -o "${WORK_DIR}/c-transfer-mode")
run("${WORK_DIR}/c-transfer-mode")
if(NOT run_output STREQUAL "no ST470 needed the switch\n")
    message(FATAL_ERROR "the C program printed '${run_output}'")
endif()

# pkg-config --cflags --libs uvccam-widgets, for the hot-key field.
run(pkg-config --cflags --libs uvccam-widgets)
string(STRIP "${run_output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
run("${CXX}" -std=c++17 -fPIC ${extra} "${SOURCE_DIR}/examples/hotkey-field/main.cpp" ${flags}
    -o "${WORK_DIR}/hotkey-field-pkg-config")
check_hotkey_field("${WORK_DIR}/hotkey-field-pkg-config")
