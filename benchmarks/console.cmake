# Console round trips through a pipe, driven the way an automation program
# drives the console. The client is the end-to-end tests' own.
add_executable(console_bench ${CMAKE_CURRENT_LIST_DIR}/console_bench.cpp
               ${PROJECT_SOURCE_DIR}/tests/e2e/console_client.cpp)
target_include_directories(console_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests/e2e)
target_link_libraries(console_bench PRIVATE util)
target_compile_definitions(console_bench PRIVATE VOLTARIS_BINARY="$<TARGET_FILE:voltaris>")
add_dependencies(console_bench voltaris)

# The Python client's two ways of waiting (pipe, poll), side by side: a script,
# started like the programs here (build/<preset>/benchmarks/console_wait_bench).
file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/console_wait_bench
     CONTENT "#!/bin/sh\nexec ${VOLTARIS_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/console_wait_bench.py $<TARGET_FILE:voltaris> \"$@\"\n"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
