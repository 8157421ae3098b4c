# GoogleTest for every build, and test registration per platform:
#   native          the host build, run directly
#   qemu-pentium2   32-bit Linux build under qemu-i386 as a Pentium II (no SSE, no 3DNow!)
#   qemu-athlon     ... as an Athlon with SSE switched off (3DNow!)
#   qemu-pentium3   ... as a Pentium III (SSE)
#   windows-wine    32-bit Windows build under Wine
# Each platform is a ctest label; the 32-bit Linux build registers every test
# once per processor, prefixed with the processor's name.

# Debian's libgtest is built for the host only; cross builds compile GoogleTest
# from the sources that libgtest-dev ships.
set(SKARVEL_GTEST_SOURCE "" CACHE PATH "Build GoogleTest from these sources instead of finding it")
if(SKARVEL_GTEST_SOURCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${SKARVEL_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

if(WIN32)
  set(SKARVEL_TEST_PLATFORMS_DEFAULT windows-wine)
elseif(CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(SKARVEL_TEST_PLATFORMS_DEFAULT qemu-pentium2 qemu-athlon qemu-pentium3)
else()
  set(SKARVEL_TEST_PLATFORMS_DEFAULT native)
endif()
set(SKARVEL_TEST_PLATFORMS "${SKARVEL_TEST_PLATFORMS_DEFAULT}" CACHE STRING
    "Platforms the tests are registered for (labels)")

# The processor a qemu platform emulates (read by cmake/run-qemu.sh).
function(skarvel_platform_processor platform out)
  string(REGEX REPLACE "^qemu-" "" processor "${platform}")
  set(${out} "${processor}" PARENT_SCOPE)
endfunction()

# skarvel_discover_tests(TARGET): every GoogleTest case of TARGET, once per platform.
function(skarvel_discover_tests target)
  foreach(platform ${SKARVEL_TEST_PLATFORMS})
    if(platform MATCHES "^qemu-")
      skarvel_platform_processor(${platform} processor)
      gtest_discover_tests(${target} TEST_PREFIX "${processor}:" DISCOVERY_TIMEOUT 60
                           PROPERTIES LABELS ${platform} ENVIRONMENT SKARVEL_QEMU_CPU=${processor})
    else()
      gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ${platform})
    endif()
  endforeach()
endfunction()

# skarvel_add_platform_test(NAME name COMMAND ...): one test per platform of the
# build, with the platform's label and processor.
function(skarvel_add_platform_test)
  cmake_parse_arguments(arg "" "NAME" "COMMAND" ${ARGN})
  foreach(platform ${SKARVEL_TEST_PLATFORMS})
    if(platform MATCHES "^qemu-")
      skarvel_platform_processor(${platform} processor)
      add_test(NAME ${processor}:${arg_NAME} COMMAND ${arg_COMMAND})
      set_tests_properties(${processor}:${arg_NAME} PROPERTIES LABELS ${platform}
                           ENVIRONMENT SKARVEL_QEMU_CPU=${processor})
    else()
      add_test(NAME ${arg_NAME} COMMAND ${arg_COMMAND})
      set_tests_properties(${arg_NAME} PROPERTIES LABELS ${platform})
    endif()
  endforeach()
endfunction()
