# Port snapshot, port authority, start-up audit.
tavrin_add_test(NAME TestPortMgr SOURCES TestPortMgr.cpp LIBS FrameworkGui)
tavrin_add_test(NAME TestPortAudit SOURCES TestPortAudit.cpp LIBS FrameworkGui TIMEOUT 300)
tavrin_add_test(NAME TestPortAuditHost SOURCES TestPortAuditHost.cpp LIBS FrameworkGui Qt5::WebSockets
                NEEDS_STAGE RESOURCE_LOCK host TIMEOUT 180)
