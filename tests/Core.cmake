# Application core: single-instance guard, watchdog, identity parameters,
# application object and the installed host.
tavrin_add_test(NAME TestSingleApplication SOURCES TestSingleApplication.cpp LIBS FrameworkGui TIMEOUT 300)
tavrin_add_test(NAME TestWatchDog SOURCES TestWatchDog.cpp LIBS FrameworkGui WatchDogLib)
tavrin_add_test(NAME TestAuthentication SOURCES TestAuthentication.cpp LIBS FrameworkGui)
# The installed host as a real process, its web client in headless Chromium,
# its icon in a real tray under Xvfb, and the Debian package packed from this build.
tavrin_add_test(NAME TestHostProcess SOURCES TestHostProcess.cpp LIBS Qt5::Network Qt5::WebSockets
                NEEDS_STAGE RESOURCE_LOCK host TIMEOUT 900)
# Another local user's attacks on the installed host (as root; skipped otherwise).
tavrin_add_test(NAME TestOtherUser SOURCES TestOtherUser.cpp LIBS Qt5::Network NEEDS_STAGE RESOURCE_LOCK host TIMEOUT 300)

# The start-up sequence in-process. One application object per process, so
# each case is an executable of its own, built from the same source.
function(tavrin_add_start_case name testFunction productType)
    tavrin_add_test(NAME ${name} SOURCES TestKestApplicationStart.cpp LIBS FrameworkGui Qt5::Network
                    NEEDS_STAGE RESOURCE_LOCK host TIMEOUT 120)
    target_compile_definitions(${name} PRIVATE KEST_CASE="${testFunction}" KEST_PRODUCT_TYPE=${productType})
endfunction()
tavrin_add_start_case(TestKestApplicationStartFrameworkFails frameworkFirstFailsTearsDown 1)
tavrin_add_start_case(TestKestApplicationStartRestart restartWithoutIdentity 1)
tavrin_add_start_case(TestKestApplicationStartHeldHttp heldHttpPortCancelled 1)
tavrin_add_start_case(TestKestApplicationStartIdentityQuit identityCreatedThenQuitInOrder 0)
tavrin_add_start_case(TestKestApplicationStartIdentityType4 identityCreatedThenQuitInOrder 4)
tavrin_add_start_case(TestKestApplicationStartServerMoves serverThatCannotListenMoves 1)
