# The linux bench's record of controllers left in a test mode, read at start.
voltaris_add_fuzzer(linux_record_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/linux_record_fuzz.cpp
                    ${PROJECT_SOURCE_DIR}/platform/benchline/linux/lx_sysfs.cpp)
target_include_directories(linux_record_fuzz PRIVATE ${PROJECT_SOURCE_DIR}/platform/benchline/include
                           ${PROJECT_SOURCE_DIR}/platform/benchline/linux)
