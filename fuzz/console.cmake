# The console's line reader and splitter, built into the fuzzer from their
# sources so that they are instrumented too.
voltaris_add_fuzzer(console_line_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/console_line_fuzz.cpp
                    ${PROJECT_SOURCE_DIR}/console/command_line.cpp
                    ${PROJECT_SOURCE_DIR}/platform/os/cmdline.cpp
                    ${PROJECT_SOURCE_DIR}/platform/os/console.cpp
                    ${PROJECT_SOURCE_DIR}/platform/os/signals.cpp)
target_include_directories(console_line_fuzz PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/platform/os/include)
