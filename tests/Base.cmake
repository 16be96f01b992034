# The base library and the portable runtime.
tavrin_add_test(NAME TestBase SOURCES TestBase.cpp LIBS Base)
tavrin_add_test(NAME TestRuntime SOURCES TestRuntime.cpp LIBS Base ZRT)
