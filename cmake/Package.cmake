# The release package: cmake --build --preset win32 --target package writes
# kestrel-<version>.zip into the build folder. It holds the 32-bit kestrel.exe
# with what it loads and the tools beside it, the 64-bit refresher.dll under
# agent/, the documentation and the examples.
#
# refresher.dll is a 64-bit plug-in, so this 32-bit build cannot compile it.
# Packaging takes it from the win64 build (build/win64, configured and built
# on demand, only the refresher target), or from KESTREL_REFRESHER_DLL when a
# built plug-in is at hand elsewhere.
set(KESTREL_WIN64_BUILD_DIR ${PROJECT_SOURCE_DIR}/build/win64 CACHE PATH
    "The win64 build that the package takes refresher.dll from")
set(KESTREL_REFRESHER_DLL "" CACHE FILEPATH
    "A built 64-bit refresher.dll to package instead of building it in KESTREL_WIN64_BUILD_DIR")

install(TARGETS kestrel hwinventory kestrel-check RUNTIME DESTINATION .)
# The hardware-query library lives beside kestrel.exe, which loads it.
if(TARGET hwquery)
    install(TARGETS hwquery RUNTIME DESTINATION . LIBRARY DESTINATION .)
endif()

if(KESTREL_REFRESHER_DLL)
    install(FILES ${KESTREL_REFRESHER_DLL} DESTINATION agent RENAME refresher.dll)
else()
    # The nested build is kept apart from the outer one: it gets neither the outer
    # make's jobserver (MAKEFLAGS) nor the package's staging folder (DESTDIR).
    install(CODE "
        set(win64 \"${KESTREL_WIN64_BUILD_DIR}\")
        if(NOT EXISTS \"\${win64}/CMakeCache.txt\")
            message(STATUS \"Configuring a win64 build for refresher.dll in \${win64}\")
            execute_process(COMMAND \"${CMAKE_COMMAND}\" -E env --unset=MAKEFLAGS --unset=MFLAGS --unset=DESTDIR
                \"${CMAKE_COMMAND}\" -G \"Unix Makefiles\"
                -S \"${PROJECT_SOURCE_DIR}\" -B \"\${win64}\"
                \"-DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-x86_64.cmake\"
                -DCMAKE_BUILD_TYPE=Release
                RESULT_VARIABLE failed OUTPUT_QUIET)
            if(failed)
                message(FATAL_ERROR \"cannot configure the win64 build in \${win64}\")
            endif()
        endif()
        message(STATUS \"Building refresher.dll in \${win64}\")
        execute_process(COMMAND \"${CMAKE_COMMAND}\" -E env --unset=MAKEFLAGS --unset=MFLAGS --unset=DESTDIR
            \"${CMAKE_COMMAND}\" --build \"\${win64}\" --target refresher --parallel 2
            RESULT_VARIABLE failed OUTPUT_QUIET)
        if(failed)
            message(FATAL_ERROR \"cannot build refresher.dll in \${win64}\")
        endif()
    ")
    install(FILES ${KESTREL_WIN64_BUILD_DIR}/bin/refresher.dll DESTINATION agent)
endif()

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION docs)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION examples)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME kestrel)
set(CPACK_PACKAGE_VENDOR Tessaro)
set(CPACK_PACKAGE_VERSION ${KESTREL_VERSION_TEXT})
set(CPACK_PACKAGE_FILE_NAME kestrel-${KESTREL_VERSION_TEXT})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
