# Debian packages made by `cpack -G DEB` (or the `package` target) from the same install
# rules as `cmake --install`, one package per install component:
#   libuvccam0     component library      the two shared libraries and the udev rule
#   libuvccam-dev  component development  headers, .so links, CMake package, pkg-config file
#   uvccam-tools   component uvccamctl    the tool, its manual page and bash completion
# The files Debian wants in every package and which a plain install has no use for
# (copyright, changelog, compressed manual pages) are added to the packaging tree by
# DebianPackageFiles.cmake, after CPack has installed the components there.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME uvccam)
set(CPACK_PACKAGE_VENDOR "the uvccam developers")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Debian wants no debugging symbols in the binary packages themselves.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL library development uvccamctl)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The revision of the packaging itself; packaging/debian/changelog names the same version.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
# The project has no public address yet; whoever publishes the packages sets their own.
set(UVCCAM_DEBIAN_MAINTAINER "uvccam developers <uvccam-developers@example.org>"
    CACHE STRING "Maintainer field of the Debian packages")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${UVCCAM_DEBIAN_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

# Dependencies on system libraries come from dpkg-shlibdeps, so that they are those of the
# build (a sanitized build's packages also need the sanitizers' runtimes). It has to find
# libuvccam.so.0, which the tools and the widgets library link, in the library package's
# tree; it runs inside each package's tree, hence the path relative to it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "../library${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}")
# The packages that depend on libuvccam0 are built with it: they want that very version.
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS library)
set(CPACK_COMPONENT_UVCCAMCTL_DEPENDS library)
# A shlibs file, so that packages built against libuvccam0 get their dependency on it from
# dpkg-shlibdeps; only the library package holds shared objects, so only it gets one.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME libuvccam0)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
# The dynamic linker's cache is refreshed by libc's ldconfig trigger.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/debian/library/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/debian/library/triggers)
set(CPACK_COMPONENT_LIBRARY_DESCRIPTION
    "control of one maker's USB conference cameras - shared libraries
libuvccam lists the maker's USB conference cameras and speakerphones, streams
and records them, and drives their controls, from a Qt application or from C.
.
This package holds libuvccam (Qt Core), libuvccam-widgets (a hot-key field for
Qt Widgets) and a udev rule that lets the user at the seat open the devices.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libuvccam-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
# The public headers include Qt's.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS qtbase5-dev)
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
    "control of one maker's USB conference cameras - development files
libuvccam lists the maker's USB conference cameras and speakerphones, streams
and records them, and drives their controls, from a Qt application or from C.
.
This package holds the public headers, the .so links, a CMake package
(find_package(uvccam)) and the pkg-config files.")

set(CPACK_DEBIAN_UVCCAMCTL_PACKAGE_NAME uvccam-tools)
set(CPACK_DEBIAN_UVCCAMCTL_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_UVCCAMCTL_DESCRIPTION
    "control of one maker's USB conference cameras - command-line tool
libuvccam lists the maker's USB conference cameras and speakerphones, streams
and records them, and drives their controls, from a Qt application or from C.
.
This package holds uvccamctl, which lists the devices, reads and sets their
controls, takes snapshots and records, with its manual page and bash
completion.")

# Read by DebianPackageFiles.cmake.
set(CPACK_UVCCAM_DEBIAN_FILES_DIR ${PROJECT_SOURCE_DIR}/packaging/debian)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DebianPackageFiles.cmake)

include(CPack)
