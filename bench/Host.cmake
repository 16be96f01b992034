# The installed host against a minimal Qt Widgets program (the floor):
# start-up, idle cost and HTTP requests. Run by scripts/bench.
add_executable(BenchFloor BenchFloor.cpp)
target_link_libraries(BenchFloor PRIVATE Qt5::Widgets Qt5::Network)
add_executable(BenchHost BenchHost.cpp)
target_link_libraries(BenchHost PRIVATE Qt5::Core)
