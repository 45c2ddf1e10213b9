# zlib: the system's on the host, the static MinGW build on Windows.
if(WIN32)
  add_library(vandrel_zlib STATIC IMPORTED GLOBAL)
  set_target_properties(vandrel_zlib PROPERTIES
    IMPORTED_LOCATION /usr/${VANDREL_TRIPLE}/lib/libz.a)
else()
  find_package(ZLIB REQUIRED)
  add_library(vandrel_zlib INTERFACE IMPORTED GLOBAL)
  target_link_libraries(vandrel_zlib INTERFACE ZLIB::ZLIB)
endif()

# minizip, from the Debian zlib sources that scripts/bootstrap.sh unpacks.
set(MINIZIP_DIR ${CMAKE_SOURCE_DIR}/.deps/minizip)
if(NOT EXISTS ${MINIZIP_DIR}/unzip.c)
  message(FATAL_ERROR "minizip sources missing: run scripts/bootstrap.sh")
endif()
add_library(minizip STATIC ${MINIZIP_DIR}/unzip.c ${MINIZIP_DIR}/zip.c
                           ${MINIZIP_DIR}/ioapi.c)
target_include_directories(minizip SYSTEM PUBLIC ${MINIZIP_DIR})
# No encryption support: the stub reads plain stored and deflated entries.
target_compile_definitions(minizip PUBLIC NOCRYPT NOUNCRYPT)
target_compile_options(minizip PRIVATE -w -ffunction-sections -fdata-sections)
target_link_libraries(minizip PUBLIC vandrel_zlib)
vandrel_harden(minizip)

# GoogleTest from Debian's sources, built for each tree.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
if(WIN32)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
endif()
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
if(WIN32)
  target_include_directories(gtest BEFORE PUBLIC ${CMAKE_SOURCE_DIR}/cmake/gtest-win32)
endif()
