# Console round trips through a pipe, driven the way an automation program
# drives the console. The client is the end-to-end tests' own.
add_executable(console_bench ${CMAKE_CURRENT_LIST_DIR}/console_bench.cpp
               ${PROJECT_SOURCE_DIR}/tests/e2e/console_client.cpp)
target_include_directories(console_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests/e2e)
target_link_libraries(console_bench PRIVATE util)
target_compile_definitions(console_bench PRIVATE VOLTARIS_BINARY="$<TARGET_FILE:voltaris>")
add_dependencies(console_bench voltaris)
