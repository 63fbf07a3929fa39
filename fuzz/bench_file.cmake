# The bench file loader. The benchline sources are built into the fuzzer, so
# that they are instrumented too (the generated default bench is already an
# absolute path).
get_target_property(BENCHLINE_DIR benchline SOURCE_DIR)
get_target_property(BENCHLINE_SOURCES benchline SOURCES)
set(BENCH_FILE_FUZZ_SOURCES)
foreach(source ${BENCHLINE_SOURCES})
  if(NOT IS_ABSOLUTE ${source})
    set(source ${BENCHLINE_DIR}/${source})
  endif()
  list(APPEND BENCH_FILE_FUZZ_SOURCES ${source})
endforeach()
voltaris_add_fuzzer(bench_file_fuzz ${CMAKE_CURRENT_LIST_DIR}/bench_file_fuzz.cpp ${BENCH_FILE_FUZZ_SOURCES})
target_include_directories(bench_file_fuzz PRIVATE ${BENCHLINE_DIR}/include)
target_link_libraries(bench_file_fuzz PRIVATE tomlplusplus::tomlplusplus Threads::Threads)
