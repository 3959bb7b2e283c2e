# Installs the build's uvccamctl component into a fresh prefix and checks that the tool,
# its manual page and its bash completion land where a Linux system looks for them.
# Usage: cmake -DBUILD_DIR=<build> -DPREFIX=<scratch directory> -P CheckInstall.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX} --component uvccamctl
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cmake --install failed (${status}):\n${output}")
endif()

foreach(expected bin/uvccamctl share/man/man1/uvccamctl.1 share/bash-completion/completions/uvccamctl)
    if(NOT EXISTS ${PREFIX}/${expected})
        file(GLOB_RECURSE installed RELATIVE ${PREFIX} ${PREFIX}/*)
        message(FATAL_ERROR "${expected} was not installed; the prefix holds: ${installed}")
    endif()
endforeach()
# The completion is bash's to load by the command's name; it must be the script itself.
file(READ ${PREFIX}/share/bash-completion/completions/uvccamctl completion)
if(NOT completion MATCHES "complete -F _uvccamctl uvccamctl")
    message(FATAL_ERROR "the installed completion is not the uvccamctl script")
endif()
file(REMOVE_RECURSE ${PREFIX})
