# Shipped skins and translations, built and installed: their content.
tavrin_add_test(NAME TestShippedContent SOURCES TestShippedContent.cpp
    LIBS Qt5::Gui Qt5::Svg NEEDS_STAGE)
add_dependencies(TestShippedContent skins translations)
