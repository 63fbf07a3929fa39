# Debian packages from one build (cpack -G DEB, or ./build.sh package):
#   voltaris         voltaris, voltaris-sim, their man pages, desktop entry, icons,
#                    the pkexec launcher and its polkit policy
#   libscrivlet1     the shared library
#   libscrivlet-dev  headers, the .so link, the CMake package and scrivlet.pc
#   scrivlet-tools   vifinfo and its man page
#   python3-voltaris the console's Python client and pytest plugin (python/)
# Every package carries the project version; dependencies on Debian's
# libraries come from the linked libraries (dpkg-shlibdeps).

set(VOLTARIS_MAINTAINER "Voltaris developers <voltaris@example.com>")
set(VOLTARIS_PACKAGES voltaris libscrivlet1 libscrivlet-dev scrivlet-tools)
# python3-voltaris: its files are installed by python/CMakeLists.txt; its fields are below.
list(APPEND VOLTARIS_PACKAGES python3-voltaris)

# The manual pages, gzipped as Debian installs them.
set(man_pages voltaris.1:voltaris voltaris-sim.1:voltaris vifinfo.1:scrivlet-tools)
foreach(entry IN LISTS man_pages)
  string(REPLACE ":" ";" parts ${entry})
  list(GET parts 0 page)
  list(GET parts 1 component)
  configure_file(${PROJECT_SOURCE_DIR}/man/${page} ${PROJECT_BINARY_DIR}/man/${page} @ONLY)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/man/${page}.gz
    COMMAND gzip -9n -c ${PROJECT_BINARY_DIR}/man/${page} > ${PROJECT_BINARY_DIR}/man/${page}.gz
    DEPENDS ${PROJECT_BINARY_DIR}/man/${page} VERBATIM)
  list(APPEND man_outputs ${PROJECT_BINARY_DIR}/man/${page}.gz)
  install(FILES ${PROJECT_BINARY_DIR}/man/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_outputs})

# Each package's copyright and changelog, where Debian's tools look for them.
string(TIMESTAMP package_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
foreach(package IN LISTS VOLTARIS_PACKAGES)
  set(doc ${PROJECT_BINARY_DIR}/doc/${package})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/copyright.in ${doc}/copyright @ONLY)
  set(PACKAGE_NAME ${package})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/changelog.in ${doc}/changelog @ONLY)
  add_custom_command(OUTPUT ${doc}/changelog.gz
    COMMAND gzip -9n -c ${doc}/changelog > ${doc}/changelog.gz
    DEPENDS ${doc}/changelog VERBATIM)
  list(APPEND doc_outputs ${doc}/changelog.gz)
  install(FILES ${doc}/copyright ${doc}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${package})
endforeach()
add_custom_target(package_docs ALL DEPENDS ${doc_outputs})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME voltaris)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${VOLTARIS_MAINTAINER})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL ${VOLTARIS_PACKAGES})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VOLTARIS_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/scrivlet)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_VOLTARIS_PACKAGE_NAME voltaris)
# The desktop menu's entry starts voltaris as root through pkexec; the
# console and a root shell do without it.
set(CPACK_DEBIAN_VOLTARIS_PACKAGE_RECOMMENDS pkexec)
set(CPACK_COMPONENT_VOLTARIS_DESCRIPTION
"USB electrical compliance test tool for xHCI hosts
voltaris puts a host root port, a hub downstream port or a device's
upstream port into a USB 2.0 or USB 3.x electrical test mode (Test J,
Test K, Test SE0_NAK, Test Packet, Test Force Enable, SuperSpeed
transmitter compliance), suspends, resumes and resets ports, and
single-steps control transfers, so that signal quality can be measured
with outside instruments. It shows dialogs, on the desktop or on a
terminal, or runs a console that another program can drive through two
status files. It drives the machine's own xHCI controllers through usbfs
(as root: the desktop menu asks for an administrator's password through
pkexec); a simulated bench (with voltaris-sim), which says so, stands in
for hardware when it is asked for.")

set(CPACK_DEBIAN_LIBSCRIVLET1_PACKAGE_NAME libscrivlet1)
set(CPACK_DEBIAN_LIBSCRIVLET1_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_LIBSCRIVLET1_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/deb/triggers)
set(CPACK_DEBIAN_LIBSCRIVLET1_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_LIBSCRIVLET1_DESCRIPTION
"USB Vendor Info File library
libscrivlet reads USB Vendor Info Files, in the text format of
Name: value lines and in XML, answers regular-expression queries
over field names and condenses a file into a device or hub summary.
.
This package holds the shared library.")

set(CPACK_DEBIAN_LIBSCRIVLET-DEV_PACKAGE_NAME libscrivlet-dev)
set(CPACK_DEBIAN_LIBSCRIVLET-DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_LIBSCRIVLET-DEV_DEPENDS libscrivlet1)
# scrivlet.pc names them as private requirements.
set(CPACK_DEBIAN_LIBSCRIVLET-DEV_PACKAGE_DEPENDS "libpcre2-dev, libexpat1-dev")
set(CPACK_COMPONENT_LIBSCRIVLET-DEV_DESCRIPTION
"USB Vendor Info File library - development files
libscrivlet reads USB Vendor Info Files, in the text format of
Name: value lines and in XML, answers regular-expression queries
over field names and condenses a file into a device or hub summary.
.
This package holds the headers, the CMake package (find_package(Scrivlet))
and the pkg-config file (scrivlet.pc).")

set(CPACK_DEBIAN_SCRIVLET-TOOLS_PACKAGE_NAME scrivlet-tools)
set(CPACK_DEBIAN_SCRIVLET-TOOLS_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_SCRIVLET-TOOLS_DEPENDS libscrivlet1)
set(CPACK_COMPONENT_SCRIVLET-TOOLS_DESCRIPTION
"USB Vendor Info File tool
vifinfo lists the fields of a USB Vendor Info File (text or XML), lists
those whose names match a regular expression, and prints the device or
hub summary of a file with whether it is valid.")

# python3-voltaris: pure Python, for any architecture; byte-compiled when installed.
set(CPACK_DEBIAN_PYTHON3-VOLTARIS_PACKAGE_NAME python3-voltaris)
set(CPACK_DEBIAN_PYTHON3-VOLTARIS_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON3-VOLTARIS_PACKAGE_ARCHITECTURE all)
set(CPACK_COMPONENT_PYTHON3-VOLTARIS_DEPENDS voltaris)
set(CPACK_DEBIAN_PYTHON3-VOLTARIS_PACKAGE_DEPENDS "python3:any (>= 3.11)")
set(CPACK_DEBIAN_PYTHON3-VOLTARIS_PACKAGE_SUGGESTS python3-pytest)
set(CPACK_DEBIAN_PYTHON3-VOLTARIS_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/cmake/deb/python3-voltaris/postinst ${PROJECT_SOURCE_DIR}/cmake/deb/python3-voltaris/prerm)
set(CPACK_DEBIAN_PYTHON3-VOLTARIS_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_PYTHON3-VOLTARIS_DESCRIPTION
"Python client for the voltaris console
The voltaris module drives voltaris /C from Python scripts: it starts the
console, sends each command the way its status files are meant to be used
and returns parsed results (host controllers, hubs, devices, ports); a
failed command raises an exception carrying what the console said. The
single-step commands, the descriptor loop and the console's questions can
be driven from the script. A pytest plugin gives tests a console on the
simulated bench (fixture voltaris_console).")

include(CPack)
