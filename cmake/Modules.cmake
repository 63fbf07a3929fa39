# The program's own modules (app, console, gui, bench) keep their headers
# beside their sources and are included as "<module>/<header>.h". Each one
# gets an include root that holds that module alone, so a file reaches only
# the headers of the modules its target links; .ci/check-layers keeps the
# links themselves to the agreed layers.
function(voltaris_include_root target)
  get_filename_component(module ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  set(root ${PROJECT_BINARY_DIR}/include/${module})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${module} SYMBOLIC)
  target_include_directories(${target} PUBLIC ${root})
endfunction()

# Every build checks that no include crosses a layer.
add_custom_target(check_layers ALL COMMAND ${PROJECT_SOURCE_DIR}/.ci/check-layers
                  COMMENT "Checking the layers' includes" VERBATIM)
