# Enumeration of a full simulated bus through the bus model.
add_executable(bench_enumerate ${CMAKE_CURRENT_LIST_DIR}/bench_enumerate.cpp)
target_link_libraries(bench_enumerate PRIVATE bench)
