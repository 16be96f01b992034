# The operating-system layer.
tavrin_add_test(NAME TestPlatformPorts SOURCES TestPlatformPorts.cpp LIBS TavrinPlatform)
tavrin_add_test(NAME TestPlatformProcesses SOURCES TestPlatformProcesses.cpp LIBS TavrinPlatform)
tavrin_add_test(NAME TestPlatformFiles SOURCES TestPlatformFiles.cpp LIBS TavrinPlatform)
