# The port snapshot with 10,000 loopback sockets open, against ss.
set(TAVRIN_LOGICAL_DIR ${PROJECT_SOURCE_DIR}/Server/src/Palvex.Framework.S/FrameworkGui/logical)
add_executable(BenchPortSnapshot BenchPortSnapshot.cpp ${TAVRIN_LOGICAL_DIR}/PortMgr.cpp)
target_include_directories(BenchPortSnapshot PRIVATE ${TAVRIN_LOGICAL_DIR}/..)
target_link_libraries(BenchPortSnapshot PRIVATE TavrinPlatform Base Boost::thread)
