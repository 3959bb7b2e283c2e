# Makes the Debian packages from the build tree with cpack and checks them as a Debian
# system would take them: package names, dependencies and shlibs, which files each holds,
# then all three unpacked into a fresh root (nothing is installed on this machine) where a
# C host is built and run, and uvccamctl runs; last, lintian must find no error.
# Arguments: BUILD_DIR, SOURCE_DIR, WORK_DIR, LIBDIR, VERSION, CC, CXX_FLAGS.
cmake_minimum_required(VERSION 3.18)
file(REMOVE_RECURSE "${WORK_DIR}")
set(root "${WORK_DIR}/root")

include(${CMAKE_CURRENT_LIST_DIR}/RunCommand.cmake)

# -B keeps cpack's packaging tree and the packages in the work folder, out of the build tree.
run(cpack -G DEB --config "${BUILD_DIR}/CPackConfig.cmake" -B "${WORK_DIR}")
file(GLOB debs "${WORK_DIR}/*.deb")
set(packages libuvccam0 libuvccam-dev uvccam-tools)
foreach(deb IN LISTS debs)
    run(dpkg-deb --field "${deb}" Package)
    string(STRIP "${run_output}" package)
    if(NOT package IN_LIST packages OR DEFINED deb_${package})
        message(FATAL_ERROR "unexpected package ${package} (${deb}); cpack made: ${debs}")
    endif()
    set(deb_${package} "${deb}")
endforeach()
foreach(package IN LISTS packages)
    if(NOT DEFINED deb_${package})
        message(FATAL_ERROR "cpack made no ${package}; it made: ${debs}")
    endif()
endforeach()
run(dpkg-deb --field "${deb_libuvccam0}" Version)
string(STRIP "${run_output}" deb_version)
if(NOT deb_version MATCHES "^${VERSION}-[0-9]+$")
    message(FATAL_ERROR "libuvccam0 has the version ${deb_version}, not ${VERSION}-<revision>")
endif()
string(REPLACE "." "\\." version_re "${deb_version}")

# Each package's Depends holds these (regular expressions, one per dependency): the ones on
# libuvccam0 come from the component dependencies, those on Qt from dpkg-shlibdeps.
function(check_depends package)
    run(dpkg-deb --field "${deb_${package}}" Depends)
    string(STRIP "${run_output}" depends)
    string(REPLACE ", " ";" depends "${depends}")
    foreach(expected IN LISTS ARGN)
        set(found "${depends}")
        list(FILTER found INCLUDE REGEX "^${expected}$")
        if(NOT found)
            message(FATAL_ERROR "${package} does not depend on ${expected}: ${depends}")
        endif()
    endforeach()
endfunction()
set(exact "\\(= ${version_re}\\)")
check_depends(libuvccam0 "libqt5core5a .*" "libqt5widgets5 .*")
check_depends(libuvccam-dev "libuvccam0 ${exact}" qtbase5-dev)
check_depends(uvccam-tools "libuvccam0 ${exact}" "libqt5core5a .*" "libqt5gui5 .*")

# Hosts built against the package get their dependency from its shlibs; libc's trigger
# refreshes the linker cache.
run(dpkg-deb --info "${deb_libuvccam0}" shlibs)
foreach(library libuvccam libuvccam-widgets)
    if(NOT run_output MATCHES "(^|\n)${library} 0 libuvccam0 \\(>= ${version_re}\\)\n")
        message(FATAL_ERROR "libuvccam0's shlibs lacks ${library}:\n${run_output}")
    endif()
endforeach()
run(dpkg-deb --info "${deb_libuvccam0}" triggers)
if(NOT run_output MATCHES "activate-noawait ldconfig")
    message(FATAL_ERROR "libuvccam0 does not trigger ldconfig:\n${run_output}")
endif()

# Which files each package holds: entries of `dpkg-deb -c` (a path, or "link -> target").
function(check_contents package)
    cmake_parse_arguments(arg "" "" "HOLDS;LACKS" ${ARGN})
    run(dpkg-deb --contents "${deb_${package}}")
    foreach(entry IN LISTS arg_HOLDS)
        string(FIND "${run_output}" " ./usr/${entry}\n" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "${package} does not hold ${entry}:\n${run_output}")
        endif()
    endforeach()
    foreach(part IN LISTS arg_LACKS)
        string(FIND "${run_output}" "${part}" at)
        if(NOT at EQUAL -1)
            message(FATAL_ERROR "${package} holds ${part}:\n${run_output}")
        endif()
    endforeach()
endfunction()
check_contents(libuvccam0
    HOLDS "${LIBDIR}/libuvccam.so.${VERSION}" "${LIBDIR}/libuvccam.so.0 -> libuvccam.so.${VERSION}"
          "${LIBDIR}/libuvccam-widgets.so.0 -> libuvccam-widgets.so.${VERSION}" lib/udev/rules.d/70-uvccam.rules
    LACKS ./usr/include/ "libuvccam.so ->" /cmake/ /pkgconfig/ ./usr/bin/)
check_contents(libuvccam-dev
    HOLDS include/uvccam/UVCCam.h include/uvccam/UvccamEntryPoints.h include/uvccam/mac/MacUVCCam.h
          "${LIBDIR}/libuvccam.so -> libuvccam.so.0" "${LIBDIR}/cmake/uvccam/uvccamConfig.cmake"
          "${LIBDIR}/pkgconfig/uvccam.pc"
    LACKS "libuvccam.so.${VERSION}" ./usr/bin/ /udev/)
check_contents(uvccam-tools
    HOLDS bin/uvccamctl share/man/man1/uvccamctl.1.gz share/bash-completion/completions/uvccamctl
    LACKS ./usr/include/ "/libuvccam")

# The three together, as apt would lay them out: a host built with the -dev package's
# pkg-config file and run on the library package, and the tool.
foreach(package IN LISTS packages)
    run(dpkg-deb --extract "${deb_${package}}" "${root}")
endforeach()
run(gzip -dc "${root}/usr/share/doc/libuvccam0/changelog.Debian.gz")
if(NOT run_output MATCHES "^uvccam \\(${version_re}\\) ")
    message(FATAL_ERROR "packaging/debian/changelog has no entry for ${deb_version} on top")
endif()
set(ENV{PKG_CONFIG_PATH} "${root}/usr/${LIBDIR}/pkgconfig")
run(pkg-config --cflags --libs uvccam)
string(STRIP "${run_output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
separate_arguments(extra UNIX_COMMAND "${CXX_FLAGS}")
run("${CC}" -std=c99 ${extra} "${SOURCE_DIR}/examples/c-transfer-mode/main.c" ${flags}
    -o "${WORK_DIR}/c-transfer-mode")
set(ENV{LD_LIBRARY_PATH} "${root}/usr/${LIBDIR}")
run("${WORK_DIR}/c-transfer-mode")
if(NOT run_output STREQUAL "no ST470 needed the switch\n")
    message(FATAL_ERROR "the C program printed '${run_output}'")
endif()
run("${root}/usr/bin/uvccamctl" --version)
if(NOT run_output STREQUAL "libuvccam ${VERSION}\n")
    message(FATAL_ERROR "the packaged uvccamctl printed '${run_output}'")
endif()

# lintian's warnings are advice; an error is a package Debian would refuse.
execute_process(COMMAND lintian ${debs} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(out MATCHES "(^|\n)E: " OR NOT status EQUAL 0)
    message(FATAL_ERROR "lintian (${status}):\n${out}\n${err}")
endif()
