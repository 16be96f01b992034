# The port snapshot with 10,000 loopback sockets open, against ss.
add_executable(BenchPortSnapshot BenchPortSnapshot.cpp)
target_link_libraries(BenchPortSnapshot PRIVATE FrameworkCore)
