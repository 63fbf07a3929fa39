# Project-wide compile flags: warnings everywhere, optional -Werror and sanitizers.
add_compile_options(-Wall -Wextra)
# GCC 12 reports overlapping copies inside std::string that cannot happen once
# it inlines them in optimised builds (its bug 105329).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options(-Wno-restrict)
endif()
if(VOLTARIS_WERROR)
  add_compile_options(-Werror)
endif()

if(VOLTARIS_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(VOLTARIS_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT VOLTARIS_SANITIZE STREQUAL "")
  message(FATAL_ERROR "VOLTARIS_SANITIZE must be empty, address or thread")
endif()

# Code in the program and its stand-ins is not exported from shared objects
# unless it says so.
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)
