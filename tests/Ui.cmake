# Input widgets, notices, the warning dialog, languages, skins, server settings
# and the high-DPI decision.
set(TAVRIN_UI_TOOLS
    RCC_EXECUTABLE="$<TARGET_FILE:Qt5::rcc>"
    LRELEASE_EXECUTABLE="$<TARGET_FILE:Qt5::lrelease>"
    LUPDATE_EXECUTABLE="$<TARGET_FILE:Qt5::lupdate>")

tavrin_add_test(NAME TestUi SOURCES TestUi.cpp LIBS FrameworkGui)
target_compile_definitions(TestUi PRIVATE ${TAVRIN_UI_TOOLS})
add_dependencies(TestUi skins)
