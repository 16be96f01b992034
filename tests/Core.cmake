# Application core: single-instance guard, watchdog, identity parameters,
# application object and the installed host.
tavrin_add_test(NAME TestSingleApplication SOURCES TestSingleApplication.cpp LIBS FrameworkGui TIMEOUT 300)
tavrin_add_test(NAME TestWatchDog SOURCES TestWatchDog.cpp LIBS FrameworkGui)
tavrin_add_test(NAME TestAuthentication SOURCES TestAuthentication.cpp LIBS FrameworkGui)
tavrin_add_test(NAME TestHostProcess SOURCES TestHostProcess.cpp LIBS Qt5::Network
                NEEDS_STAGE RESOURCE_LOCK host TIMEOUT 300)
tavrin_add_test(NAME TestKestApplication SOURCES TestKestApplication.cpp LIBS FrameworkGui TIMEOUT 180)
