# Run by CPack (CPACK_PRE_BUILD_SCRIPTS, set in DebianPackages.cmake) once every component is
# installed in its own tree below CPACK_TEMPORARY_INSTALL_DIRECTORY, before the packages are
# made: adds what Debian wants in each package and a plain `cmake --install` has no use for.
# gzip -n leaves the time and name out, so that the same sources give the same packages.

function(gzip_to source destination)
    execute_process(COMMAND gzip -9 -n -c "${source}" OUTPUT_FILE "${destination}" RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "gzip ${source} failed (${status})")
    endif()
    file(CHMOD "${destination}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endfunction()

foreach(component IN LISTS CPACK_COMPONENTS_ALL)
    string(TOUPPER "${component}" upper)
    set(package "${CPACK_DEBIAN_${upper}_PACKAGE_NAME}")
    set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/${component}${CPACK_PACKAGING_INSTALL_PREFIX}")
    if(NOT package OR NOT IS_DIRECTORY "${root}")
        message(FATAL_ERROR "no package name or no packaging tree for the component ${component}")
    endif()

    set(doc "${root}/share/doc/${package}")
    file(COPY "${CPACK_UVCCAM_DEBIAN_FILES_DIR}/copyright" DESTINATION "${doc}"
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    gzip_to("${CPACK_UVCCAM_DEBIAN_FILES_DIR}/changelog" "${doc}/changelog.Debian.gz")

    # Debian's manual pages are compressed.
    file(GLOB_RECURSE pages "${root}/share/man/*")
    foreach(page IN LISTS pages)
        if(NOT page MATCHES "\\.gz$")
            gzip_to("${page}" "${page}.gz")
            file(REMOVE "${page}")
        endif()
    endforeach()
endforeach()
