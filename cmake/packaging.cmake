# What `make dist` makes with CPack: from the release tree a Debian package of
# the builder with both stubs, from the i686 tree the zip for Windows users.
# The packages are made from what `make build` built: installing builds
# nothing (the release tree's `all` would build the tests too).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_PACKAGE_NAME vandrel)
set(CPACK_PACKAGE_VENDOR "Vandrel team")
set(VANDREL_MAINTAINER "Vandrel team <vandrel-team@example.org>" CACHE STRING
    "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${VANDREL_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "self-extracting archives for 32-bit Windows")
# One line each: Debian's control file keeps these line breaks.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "vandrel-pack makes a self-extracting Windows program from a folder: it"
  "appends a configuration block and a ZIP archive to a copy of the Vandrel"
  "stub, which extracts silently or through a three-page wizard when a user"
  "runs it. It also reads such files back (--info, --verify). The 32-bit stub"
  "is the default; a 64-bit stub is installed beside it.")
# The builder's symbols are of no use to users; the stubs are installed
# byte for byte as built (they are stripped when linked).
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # Unzipped, the tool finds the stub beside itself.
  install(TARGETS vandrel-pack RUNTIME DESTINATION .)
  install(PROGRAMS $<TARGET_FILE:vandrel-stub> DESTINATION .)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION .)
  # The README shows the wizard from these, by relative links.
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/screenshots DESTINATION docs)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
else()
  # The stubs come from the Windows trees of the same build directory.
  get_filename_component(default_i686 ${CMAKE_BINARY_DIR}/../i686/bin/vandrel-stub.exe ABSOLUTE)
  get_filename_component(default_x86_64 ${CMAKE_BINARY_DIR}/../x86_64/bin/vandrel-stub.exe
                         ABSOLUTE)
  set(VANDREL_PACKAGE_STUB_I686 ${default_i686} CACHE FILEPATH
      "i686 stub packed as the default vandrel-stub.exe")
  set(VANDREL_PACKAGE_STUB_X86_64 ${default_x86_64} CACHE FILEPATH
      "x86_64 stub packed as vandrel-stub-x86_64.exe")
  install(TARGETS vandrel-pack RUNTIME DESTINATION ${VANDREL_TOOL_INSTALL_DIR})
  install(PROGRAMS ${VANDREL_PACKAGE_STUB_I686} DESTINATION ${VANDREL_STUB_INSTALL_DIR})
  install(PROGRAMS ${VANDREL_PACKAGE_STUB_X86_64} DESTINATION ${VANDREL_STUB_INSTALL_DIR}
          RENAME vandrel-stub-x86_64.exe)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/cmake/deb/copyright
                ${VANDREL_PAPERS_DIR}/changelog.gz DESTINATION share/doc/vandrel)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/screenshots DESTINATION share/doc/vandrel/docs)
  install(FILES ${VANDREL_PAPERS_DIR}/vandrel-pack.1.gz DESTINATION share/man/man1)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Depends from the libraries the builder links (C++ runtime, zlib).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
