# Installs the build into a fresh prefix and builds a host against it twice, with
# find_package and with pkg-config, then runs both: each must print the library's version.
# Arguments: BUILD_DIR, SOURCE_DIR, WORK_DIR, LIBDIR, VERSION, CXX, CXX_FLAGS.
set(prefix "${WORK_DIR}/prefix")
file(REMOVE_RECURSE "${WORK_DIR}")

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${ARGN} failed (${status}):\n${out}\n${err}")
    endif()
    set(run_output "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}")

string(REGEX MATCH "^[0-9]+" major "${VERSION}")
foreach(installed
        "${LIBDIR}/libuvccam.so.${VERSION}" "${LIBDIR}/libuvccam.so.${major}" "${LIBDIR}/libuvccam.so"
        "${LIBDIR}/libuvccam-widgets.so.${major}"
        include/uvccam/UVCCam.h include/uvccam/UvccamEntryPoints.h include/uvccam/mac/MacUVCCam.h
        lib/udev/rules.d/70-uvccam.rules
        "${LIBDIR}/cmake/uvccam/uvccamConfig.cmake" "${LIBDIR}/pkgconfig/uvccam.pc")
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

# find_package(uvccam) and uvccam::uvccam.
run(${CMAKE_COMMAND} -S "${SOURCE_DIR}/tests/install/consumer" -B "${WORK_DIR}/cmake-host"
    "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_COMPILER=${CXX}" "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}")
run(${CMAKE_COMMAND} --build "${WORK_DIR}/cmake-host")
run("${WORK_DIR}/cmake-host/consumer")
if(NOT run_output STREQUAL "${VERSION}\n")
    message(FATAL_ERROR "the find_package host printed '${run_output}'")
endif()

# pkg-config --cflags --libs uvccam.
set(ENV{PKG_CONFIG_PATH} "${prefix}/${LIBDIR}/pkgconfig")
run(pkg-config --cflags --libs uvccam)
string(STRIP "${run_output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
separate_arguments(extra UNIX_COMMAND "${CXX_FLAGS}")
run("${CXX}" -std=c++17 -fPIC ${extra} "${SOURCE_DIR}/tests/install/consumer/main.cpp" ${flags}
    -o "${WORK_DIR}/pkg-config-host")
run("${WORK_DIR}/pkg-config-host")
if(NOT run_output STREQUAL "${VERSION}\n")
    message(FATAL_ERROR "the pkg-config host printed '${run_output}'")
endif()
