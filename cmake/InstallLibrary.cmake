# What `cmake --install` puts where for a host developer: the libraries with their SONAME,
# the public headers under include/uvccam, the udev rule, a CMake package (find_package(uvccam)
# gives uvccam::uvccam and uvccam::widgets) and pkg-config files (uvccam, uvccam-widgets).
include(CMakePackageConfigHelpers)

set(UVCCAM_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/uvccam)
# udev reads packaged rules from lib/udev/rules.d below the prefix (/usr on Debian).
set(UVCCAM_UDEV_RULES_DIR lib/udev/rules.d CACHE STRING "Where the udev rule is installed, below the prefix")

install(TARGETS uvccam EXPORT uvccamTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library NAMELINK_COMPONENT development)
install(TARGETS uvccam-widgets EXPORT uvccamTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library NAMELINK_COMPONENT development)
# The headers a host includes; tests/CMakeLists.txt compiles each of them alone.
set(UVCCAM_INSTALLED_HEADERS
    UVCCam.h DeviceInfo.h UVCCamCallbacks.h UVCCamExport.h UVCCamSimulation.h UVCCamDiagnostics.h
    UVCCamVersion.h UvccamEntryPoints.h KeyEvent.h
    mac/MacUVCCam.h mac/MacAppServiceOC.h)
# The hot-key classes: the text field is the widgets library's, the hot key, its registry and
# its text the core's.
set(UVCCAM_INSTALLED_HOTKEY_HEADERS
    HKHotKey.h HKHotKeyCenter.h HKStringFromKeyCode.h HKHotKeyTextField.h HKHotKeyTextFieldCell.h)
foreach(header IN LISTS UVCCAM_INSTALLED_HEADERS)
    get_filename_component(folder ${header} DIRECTORY)
    install(FILES include/${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/uvccam/${folder} COMPONENT development)
endforeach()
list(TRANSFORM UVCCAM_INSTALLED_HOTKEY_HEADERS PREPEND hotkey/ OUTPUT_VARIABLE hotkey_headers)
install(FILES ${hotkey_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/uvccam/hotkey COMPONENT development)
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
configure_file(cmake/uvccam-widgets.pc.in ${CMAKE_CURRENT_BINARY_DIR}/uvccam-widgets.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/uvccam.pc ${CMAKE_CURRENT_BINARY_DIR}/uvccam-widgets.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
