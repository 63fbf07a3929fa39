# The terminal layout and its text measuring, built into the fuzzer.
voltaris_add_fuzzer(dlg_layout_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/dlg_layout_fuzz.cpp
                    ${PROJECT_SOURCE_DIR}/platform/dlg/layout.cpp)
target_include_directories(dlg_layout_fuzz PRIVATE ${PROJECT_SOURCE_DIR}/platform/dlg/include)
