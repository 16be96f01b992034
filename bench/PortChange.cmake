# A port change on the host in-process: from the confirmed restart to the
# first answer on the new HTTP port.
add_executable(BenchPortChange BenchPortChange.cpp)
target_link_libraries(BenchPortChange PRIVATE FrameworkGui Qt5::Widgets)
