# What `cmake --install` puts where for a host developer: the library with its SONAME, the
# public headers under include/uvccam, the udev rule, a CMake package (find_package(uvccam)
# gives uvccam::uvccam) and a pkg-config file (pkg-config --cflags --libs uvccam).
include(CMakePackageConfigHelpers)

set(UVCCAM_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/uvccam)
# udev reads packaged rules from lib/udev/rules.d below the prefix (/usr on Debian).
set(UVCCAM_UDEV_RULES_DIR lib/udev/rules.d CACHE STRING "Where the udev rule is installed, below the prefix")

install(TARGETS uvccam EXPORT uvccamTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library NAMELINK_COMPONENT development)
install(TARGETS uvccam-widgets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library NAMELINK_COMPONENT development)
install(FILES
    include/UVCCam.h include/DeviceInfo.h include/UVCCamCallbacks.h include/UVCCamExport.h
    include/UVCCamSimulation.h include/UVCCamDiagnostics.h include/UVCCamVersion.h
    include/UvccamEntryPoints.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/uvccam COMPONENT development)
install(FILES include/mac/MacUVCCam.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/uvccam/mac COMPONENT development)
install(FILES udev/70-uvccam.rules DESTINATION ${UVCCAM_UDEV_RULES_DIR} COMPONENT library)

install(EXPORT uvccamTargets NAMESPACE uvccam:: DESTINATION ${UVCCAM_CMAKE_PACKAGE_DIR} COMPONENT development)
configure_package_config_file(cmake/uvccamConfig.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/uvccamConfig.cmake
    INSTALL_DESTINATION ${UVCCAM_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/uvccamConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/uvccamConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/uvccamConfigVersion.cmake
    DESTINATION ${UVCCAM_CMAKE_PACKAGE_DIR} COMPONENT development)

# The pkg-config file finds the prefix from where it lies, so the tree can be installed
# anywhere (--prefix, DESTDIR, a package).
file(RELATIVE_PATH UVCCAM_PC_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
string(REGEX REPLACE "/$" "" UVCCAM_PC_TO_PREFIX "${UVCCAM_PC_TO_PREFIX}")
configure_file(cmake/uvccam.pc.in ${CMAKE_CURRENT_BINARY_DIR}/uvccam.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/uvccam.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
