# A Windows build takes its third-party libraries from the stack that
# scripts/windows-deps builds (its folder is what that script prints), and
# its build-time tools (the SVG renderer, the translation key check) from a
# native build of this project (the TavrinTools.cmake that build writes).
set(TAVRIN_WINDOWS_STACK "" CACHE PATH "The Windows third-party stack: the folder scripts/windows-deps prints")
set(TAVRIN_NATIVE_TOOLS "" CACHE FILEPATH "TavrinTools.cmake of a native build of this project")
if(NOT EXISTS "${TAVRIN_WINDOWS_STACK}/.complete")
    message(FATAL_ERROR "A Windows build needs -DTAVRIN_WINDOWS_STACK=<the folder scripts/windows-deps "
                        "${CMAKE_SYSTEM_PROCESSOR} prints>")
endif()
if(NOT EXISTS "${TAVRIN_NATIVE_TOOLS}")
    message(FATAL_ERROR "A Windows build needs -DTAVRIN_NATIVE_TOOLS=<native build>/TavrinTools.cmake")
endif()
include(${TAVRIN_NATIVE_TOOLS})

list(APPEND CMAKE_FIND_ROOT_PATH ${TAVRIN_WINDOWS_STACK})
list(APPEND CMAKE_PREFIX_PATH ${TAVRIN_WINDOWS_STACK}/qt ${TAVRIN_WINDOWS_STACK})
# pkg-config must not offer the build machine's own libraries.
set(ENV{PKG_CONFIG_LIBDIR} ${TAVRIN_WINDOWS_STACK}/lib/pkgconfig)
# lrelease and lupdate are build-time tools: Debian's own serve.
if(NOT Qt5LinguistTools_DIR)
    file(GLOB linguist /usr/lib/*/cmake/Qt5LinguistTools)
    set(Qt5LinguistTools_DIR ${linguist} CACHE PATH "Debian's native Qt linguist tools")
endif()

# The DLLs the program folder ships beside the executable: the stack's and
# the compiler's run-time (C++ library, unwinder, threads).
set(triple ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
file(GLOB TAVRIN_WINDOWS_DLLS
    ${TAVRIN_WINDOWS_STACK}/bin/sqlite3.dll
    ${TAVRIN_WINDOWS_STACK}/bin/libxml2.dll
    ${TAVRIN_WINDOWS_STACK}/bin/liblog4cplus.dll
    ${TAVRIN_WINDOWS_STACK}/bin/libcrypto-3*.dll
    ${TAVRIN_WINDOWS_STACK}/qt/bin/Qt5Core.dll
    ${TAVRIN_WINDOWS_STACK}/qt/bin/Qt5Gui.dll
    ${TAVRIN_WINDOWS_STACK}/qt/bin/Qt5Widgets.dll
    ${TAVRIN_WINDOWS_STACK}/qt/bin/Qt5Network.dll
    ${TAVRIN_WINDOWS_STACK}/qt/bin/Qt5Svg.dll
    /usr/lib/gcc/${triple}/*-posix/libstdc++-6.dll
    /usr/lib/gcc/${triple}/*-posix/libgcc_s_*.dll
    /usr/${triple}/lib/libwinpthread-1.dll)
# The Qt plug-ins the host loads: platforms (windows, offscreen), the
# Windows styles, image formats and the SVG icon engine.
set(TAVRIN_QT_PLUGIN_TYPES platforms styles imageformats iconengines)

# The program folder of the build tree gets them too, so the program runs
# from there; installed into Server/ and Server/plugins/ (qt.conf names it).
function(tavrin_windows_runtime serverDir)
    file(COPY ${TAVRIN_WINDOWS_DLLS} DESTINATION ${serverDir})
    install(FILES ${TAVRIN_WINDOWS_DLLS} DESTINATION Server)
    foreach(type ${TAVRIN_QT_PLUGIN_TYPES})
        file(COPY ${TAVRIN_WINDOWS_STACK}/qt/plugins/${type} DESTINATION ${serverDir}/plugins)
        install(DIRECTORY ${TAVRIN_WINDOWS_STACK}/qt/plugins/${type} DESTINATION Server/plugins)
    endforeach()
    file(WRITE ${serverDir}/qt.conf "[Paths]\nPlugins = plugins\n")
    install(FILES ${serverDir}/qt.conf DESTINATION Server)
endfunction()
