# The linux bench's record of what a run left behind, read at start.
voltaris_add_fuzzer(linux_record_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/linux_record_fuzz.cpp
                    ${PROJECT_SOURCE_DIR}/platform/benchline/linux/lx_sysfs.cpp)
# The mount, swap and route tables and the input bitmaps the linux bench
# reads before a request that could stop what the machine runs on.
voltaris_add_fuzzer(linux_in_use_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/linux_in_use_fuzz.cpp
                    ${PROJECT_SOURCE_DIR}/platform/benchline/linux/lx_in_use.cpp
                    ${PROJECT_SOURCE_DIR}/platform/benchline/linux/lx_sysfs.cpp)
foreach(target linux_record_fuzz linux_in_use_fuzz)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/platform/benchline/include
                             ${PROJECT_SOURCE_DIR}/platform/benchline/linux)
endforeach()
