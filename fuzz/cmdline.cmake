# The splitter's source is built into the fuzzer, so it is instrumented too.
voltaris_add_fuzzer(cmdline_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/cmdline_fuzz.cpp
                    ${PROJECT_SOURCE_DIR}/platform/os/cmdline.cpp)
target_include_directories(cmdline_fuzz PRIVATE ${PROJECT_SOURCE_DIR}/platform/os/include)
