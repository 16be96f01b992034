# Shipped skins and translations, built and installed: their content and
# the key check.
tavrin_add_test(NAME TestShippedContent SOURCES TestShippedContent.cpp
    LIBS Qt5::Gui Qt5::Svg NEEDS_STAGE)
add_dependencies(TestShippedContent skins translations TranslationKeyCheck)
target_compile_definitions(TestShippedContent PRIVATE
    LUPDATE_EXECUTABLE="$<TARGET_FILE:Qt5::lupdate>"
    KEYCHECK_EXECUTABLE="$<TARGET_FILE:TranslationKeyCheck>")
