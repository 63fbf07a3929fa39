# Vendor Info File parsing and queries, against the plain std::regex approach.
add_executable(scrivlet_bench ${CMAKE_CURRENT_LIST_DIR}/scrivlet_bench.cpp)
target_link_libraries(scrivlet_bench PRIVATE scrivlet_objects)
