# The operating-system layer.
tavrin_add_test(NAME TestPlatform SOURCES TestPlatform.cpp LIBS TavrinPlatform)
