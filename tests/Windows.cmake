# The Windows host under wine64: the 64-bit Windows build's program folder
# (its cmake --install), given as TAVRIN_WINE_HOST; scripts/test passes it.
set(TAVRIN_WINE_HOST "" CACHE PATH "Program folder of the 64-bit Windows build, run under wine64 by TestWineHost")
if(TAVRIN_WINE_HOST)
    find_program(TAVRIN_WINE64 wine64 PATHS /usr/lib/wine REQUIRED)
    find_program(TAVRIN_WINESERVER wineserver PATHS /usr/lib/wine REQUIRED)
    # Not beside the native host tests: both hosts start on the default ports.
    tavrin_add_test(NAME TestWineHost SOURCES TestWineHost.cpp LIBS Qt5::Network RESOURCE_LOCK host TIMEOUT 900)
    target_compile_definitions(TestWineHost PRIVATE TAVRIN_WINE_HOST="${TAVRIN_WINE_HOST}"
        TAVRIN_WINE64="${TAVRIN_WINE64}" TAVRIN_WINESERVER="${TAVRIN_WINESERVER}")
endif()
