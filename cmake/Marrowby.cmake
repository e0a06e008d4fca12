# Helpers shared by every folder: suites, fuzz targets and benchmarks.

# The real meshes that suites and benchmarks read travel with the sources, so that a clone
# anywhere builds and tests without anything outside it. Not a cache entry: older build trees
# must not keep pointing elsewhere.
set(MARROWBY_MESH_DIR "${PROJECT_SOURCE_DIR}/tests/data/meshes")

if(MARROWBY_TESTS AND NOT MARROWBY_FUZZ)
    if(WIN32 AND CMAKE_CROSSCOMPILING)
        # The cross build compiles GoogleTest from the sources that Debian's googletest
        # package installs; its own build names the targets as the packaged library does.
        set(MARROWBY_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
        set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
        set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
        add_subdirectory(${MARROWBY_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    else()
        find_package(GTest REQUIRED)
    endif()
endif()

# Adds the sub-folders of the calling folder that carry a CMakeLists.txt.
function(marrowby_add_subfolders)
    file(GLOB children LIST_DIRECTORIES true RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}"
         "${CMAKE_CURRENT_SOURCE_DIR}/*")
    list(SORT children)
    foreach(child ${children})
        if(EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt" AND
           (NOT MARROWBY_FOLDERS OR child IN_LIST MARROWBY_FOLDERS OR child STREQUAL "fuzz"))
            add_subdirectory(${child})
        endif()
    endforeach()
endfunction()

# marrowby_test(NAME SOURCES ... LIBS ... LABELS ... [XVFB])
# One GoogleTest executable registered as one CTest test. Under MARROWBY_TSAN only the
# suites labelled "tsan" are built; under MARROWBY_FUZZ none are.
function(marrowby_test name)
    cmake_parse_arguments(T "XVFB" "" "SOURCES;LIBS;LABELS" ${ARGN})
    if(NOT MARROWBY_TESTS OR MARROWBY_FUZZ)
        return()
    endif()
    if(MARROWBY_TSAN AND NOT "tsan" IN_LIST T_LABELS)
        return()
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main GTest::gmock)
    target_compile_definitions(${name} PRIVATE MARROWBY_MESH_DIR="${MARROWBY_MESH_DIR}"
                               MARROWBY_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    if(WIN32)
        # setenv and unsetenv, which some suites use to set the number of threads.
        target_compile_options(${name} PRIVATE
                               -include ${PROJECT_SOURCE_DIR}/tests/win32/posix_env.h)
    endif()
    if(T_XVFB)
        add_test(NAME ${name} COMMAND xvfb-run -a -s "-screen 0 1280x1024x24"
                 $<TARGET_FILE:${name}>)
    else()
        add_test(NAME ${name} COMMAND ${name})
    endif()
    # A suite that hangs (a modal dialog nobody closes) fails instead of holding CI up.
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}" TIMEOUT 900)
endfunction()

# marrowby_fuzz(NAME SOURCES ... LIBS ...): a libFuzzer target, built only with MARROWBY_FUZZ.
function(marrowby_fuzz name)
    cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
    if(NOT MARROWBY_FUZZ)
        return()
    endif()
    add_executable(${name} ${F_SOURCES})
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set_property(GLOBAL APPEND PROPERTY MARROWBY_FUZZ_TARGETS ${name})
endfunction()

# marrowby_bench(NAME SOURCES ... LIBS ...): a Google Benchmark executable.
function(marrowby_bench name)
    cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
    find_package(benchmark REQUIRED)
    add_executable(${name} ${B_SOURCES})
    target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark)
    target_compile_definitions(${name} PRIVATE MARROWBY_MESH_DIR="${MARROWBY_MESH_DIR}")
endfunction()
