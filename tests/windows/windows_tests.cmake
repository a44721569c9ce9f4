# The test set of the Windows build, run under Wine. GoogleTest is built
# from its sources (Debian's libgtest-dev ships them in /usr/src/googletest)
# with the cross compiler. Image fixtures are unpacked by the build on the
# host, since the test programs cannot call zstd. Tests of Linux-only things
# (loop devices, FUSE, sysfs fakes, the command line run through a shell)
# are not in this set.
set(DUDORAZU_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${DUDORAZU_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(fixture_cache ${CMAKE_BINARY_DIR}/fixtures)
file(GLOB packed CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/fixtures/*.zst)
set(unpacked "")
foreach(source IN LISTS packed)
  get_filename_component(name ${source} NAME_WLE)
  add_custom_command(OUTPUT ${fixture_cache}/${name}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${fixture_cache}
                     COMMAND zstd -q -d -f -o ${fixture_cache}/${name} ${source}
                     DEPENDS ${source} VERBATIM)
  list(APPEND unpacked ${fixture_cache}/${name})
endforeach()
add_custom_target(dudorazu-windows-fixtures ALL DEPENDS ${unpacked})

add_library(dudorazu-test-support STATIC support/fixtures.cpp support/faulty_device.cpp
            windows/without_shell.cpp)
target_include_directories(dudorazu-test-support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(dudorazu-test-support PUBLIC dudorazu-base gtest PRIVATE dudorazu-recovery)
target_compile_definitions(dudorazu-test-support PRIVATE
  DUDORAZU_FIXTURE_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}/fixtures"
  DUDORAZU_FIXTURE_CACHE_DIR="${fixture_cache}"
  DUDORAZU_CLI_PATH="${CMAKE_BINARY_DIR}/bin/dudorazu-cli.exe")
add_dependencies(dudorazu-test-support dudorazu-windows-fixtures)

# One program per module, as on Linux, less the files that test Linux:
# loop devices, sysfs fakes, resource limits, the environment of a shell.
set(linux_only device/loop_device_test.cpp device/sysfs_enumerator_test.cpp device/drive_grants_test.cpp common/test_support_test.cpp
               recovery/save_faults_test.cpp tools/mbr_rebuild_test.cpp)
# Single tests that run a shell tool (xmllint, ddrescue,
# losetup) as their oracle or set-up; they run on Linux.
set(shell_tests_device ImageAsDisk.RecordOfAnImageFile)
set(shell_tests_recovery DfxmlReport.EscapesNamesAndIsWellFormed)

function(dudorazu_windows_test name lib)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cpp)
  foreach(file IN LISTS linux_only)
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${file})
  endforeach()
  add_executable(test_${name} ${sources} ${DUDORAZU_WINDOWS_MANIFEST})
  target_link_libraries(test_${name} PRIVATE ${lib} dudorazu-test-support dudorazu-test-devices gtest_main)
  # One Wine process per program: starting one per test case costs more
  # than the tests.
  set(filter "")
  if(shell_tests_${name})
    list(JOIN shell_tests_${name} ":" left_out)
    set(filter --gtest_filter=-${left_out})
  endif()
  add_test(NAME Windows.${name} COMMAND test_${name} ${filter} WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  set_tests_properties(Windows.${name} PROPERTIES TIMEOUT 900
                       ENVIRONMENT "WINEDEBUG=-all;WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix")
endfunction()

dudorazu_windows_test(common dudorazu-base)
dudorazu_windows_test(device dudorazu-disks)
dudorazu_windows_test(partitions dudorazu-disks)
dudorazu_windows_test(exfat dudorazu-exfat)
dudorazu_windows_test(recovery dudorazu-recovery)
dudorazu_windows_test(tools dudorazu-tools)
dudorazu_windows_test(windows dudorazu-core)

# The command line as a Windows program, against The Sleuth Kit's reading
# of the sample disk.
add_test(NAME Windows.cli
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows/cli_under_wine.sh ${DUDORAZU_WINE}
                 $<TARGET_FILE:dudorazu-cli> ${fixture_cache}/sample-disk.img ${CMAKE_BINARY_DIR}/cli-check)
set_tests_properties(Windows.cli PROPERTIES TIMEOUT 300
                     ENVIRONMENT "WINEDEBUG=-all;WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix")
