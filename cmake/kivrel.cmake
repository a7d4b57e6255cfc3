# Shared build settings for every target of ours.

# Warnings are errors for our own code only; third-party code keeps its own flags.
function(kivrel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  if(WIN32)
    target_compile_definitions(${target} PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                 _WIN32_WINNT=0x0601)
  endif()
endfunction()

# Our libraries by name: a misspelt or missing one fails the configure rather than becoming a
# plain -l flag for the linker.
function(kivrel_require_targets)
  foreach(lib ${ARGN})
    if(lib MATCHES "^kivrel_" AND NOT TARGET ${lib})
      message(FATAL_ERROR "No library ${lib} is defined (misspelt, or its folder comes later)")
    endif()
  endforeach()
endfunction()

# A library of our core or edge code. Includes are relative to the repository root.
function(kivrel_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  kivrel_warnings(${name})
endfunction()

if(WIN32)
  # Static runtime: Kivrel.exe and kivrel.exe run on a bare Windows without MinGW DLLs.
  add_link_options(-static -static-libgcc -static-libstdc++)
  # The header-only libraries come from Debian's /usr/include, which a cross build must not
  # search as a whole; expose just their folders.
  set(KIVREL_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
  file(MAKE_DIRECTORY ${KIVREL_HOST_HEADERS})
  foreach(dir nlohmann CLI)
    if(NOT IS_DIRECTORY /usr/include/${dir})
      message(FATAL_ERROR "/usr/include/${dir} is missing: run scripts/bootstrap")
    endif()
    if(NOT EXISTS ${KIVREL_HOST_HEADERS}/${dir})
      file(CREATE_LINK /usr/include/${dir} ${KIVREL_HOST_HEADERS}/${dir} SYMBOLIC)
    endif()
  endforeach()
  add_library(kivrel_host_headers INTERFACE)
  target_include_directories(kivrel_host_headers SYSTEM INTERFACE ${KIVREL_HOST_HEADERS})
else()
  add_library(kivrel_host_headers INTERFACE)
endif()

# For the folders of test code (tests/, the fuzz targets' replays): -O1, and line tables where
# the build has debug information.
macro(kivrel_test_code_options)
  add_compile_options(-O1)
  if(CMAKE_BUILD_TYPE STREQUAL "RelWithDebInfo")
    add_compile_options(-g1)
  endif()
endmacro()

macro(kivrel_find_gtest)
  if(WIN32)
    # Debian ships GoogleTest's sources; build them with the cross compiler.
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    foreach(lib gtest gtest_main gmock)
      if(NOT TARGET GTest::${lib})
        add_library(GTest::${lib} ALIAS ${lib})
      endif()
    endforeach()
  else()
    find_package(GTest REQUIRED)
  endif()
  include(GoogleTest)
endmacro()

# A test program. Native builds list each test case to ctest; Windows builds run the whole
# executable as one ctest entry, since every Wine process start costs about a second.
function(kivrel_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  kivrel_require_targets(${T_LIBS})
  add_executable(${name} ${T_SOURCES})
  kivrel_warnings(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  if(KIVREL_TSAN AND NOT name IN_LIST KIVREL_TSAN_TESTS)
    # Defined, so its folder's settings still apply, but neither built nor run.
    set_target_properties(${name} PROPERTIES EXCLUDE_FROM_ALL ON)
    return()
  endif()
  if(WIN32)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 600)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
  endif()
endfunction()
