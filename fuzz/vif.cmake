# The Vendor Info File parser and summary. The library's sources are built
# into each fuzzer, so that they are instrumented too.
get_target_property(SCRIVLET_DIR scrivlet_objects SOURCE_DIR)
get_target_property(SCRIVLET_SOURCES scrivlet_objects SOURCES)
list(TRANSFORM SCRIVLET_SOURCES PREPEND ${SCRIVLET_DIR}/)
foreach(name vif_parse_fuzz vif_summary_fuzz vif_pattern_fuzz vif_xml_fuzz)
  voltaris_add_fuzzer(${name} ${CMAKE_CURRENT_LIST_DIR}/${name}.cpp ${SCRIVLET_SOURCES})
  target_include_directories(${name} PRIVATE ${SCRIVLET_DIR}/include ${SCRIVLET_DIR}/src)
  target_link_libraries(${name} PRIVATE corekit PkgConfig::PCRE2 PkgConfig::EXPAT)
endforeach()
