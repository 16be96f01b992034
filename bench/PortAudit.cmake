# The start-up port audit with 100 consecutive held ports in the HTTP search.
add_executable(BenchPortAudit BenchPortAudit.cpp)
target_link_libraries(BenchPortAudit PRIVATE FrameworkGui)
