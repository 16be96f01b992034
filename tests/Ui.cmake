# Input widgets, notices, the warning dialog, languages, skins and server settings.
set(TAVRIN_UI_TOOLS
    RCC_EXECUTABLE="$<TARGET_FILE:Qt5::rcc>"
    LRELEASE_EXECUTABLE="$<TARGET_FILE:Qt5::lrelease>"
    LUPDATE_EXECUTABLE="$<TARGET_FILE:Qt5::lupdate>")

tavrin_add_test(NAME TestWidgets SOURCES TestWidgets.cpp LIBS FrameworkGui)
tavrin_add_test(NAME TestSkinsAndLanguages SOURCES TestSkinsAndLanguages.cpp TestUiTools.h LIBS FrameworkGui)
target_compile_definitions(TestSkinsAndLanguages PRIVATE ${TAVRIN_UI_TOOLS})
add_dependencies(TestSkinsAndLanguages skins)
