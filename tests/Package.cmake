# The Debian package, packed from this build and unpacked into a temporary root.
tavrin_add_test(NAME TestPackage SOURCES TestPackage.cpp LIBS Qt5::Core RESOURCE_LOCK host TIMEOUT 600)
