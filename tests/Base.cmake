# The base library and the portable runtime.
tavrin_add_test(NAME TestBase SOURCES TestBase.cpp LIBS Base ZRT)
