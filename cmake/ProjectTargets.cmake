# One way to declare every library, test, fuzz target and benchmark of the project.

set(PELOTUNE_WARNINGS -Wall -Wextra)

function(project_warnings target)
  target_compile_options(${target} PRIVATE ${PELOTUNE_WARNINGS})
  if(PELOTUNE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# add_project_library(NAME name [DIR dir] [LIBS ...] [PRIVATE_LIBS ...])
# A static library of every .cpp under DIR (default: the current folder), with the
# project root on the include path so headers are included as "core/String.h".
function(add_project_library)
  cmake_parse_arguments(ARG "" "NAME;DIR" "LIBS;PRIVATE_LIBS" ${ARGN})
  if(NOT ARG_DIR)
    set(ARG_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp)
  file(GLOB_RECURSE headers CONFIGURE_DEPENDS ${ARG_DIR}/*.h)
  add_library(${ARG_NAME} STATIC ${sources} ${headers})
  target_include_directories(${ARG_NAME} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${ARG_NAME} PUBLIC ${ARG_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
  project_warnings(${ARG_NAME})
endfunction()

# add_project_test(NAME name SOURCES ... [LIBS ...] [LABELS ...] [ENVIRONMENT ...])
# One GoogleTest executable, its cases registered with CTest one by one.
function(add_project_test)
  cmake_parse_arguments(ARG "" "NAME" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  target_compile_definitions(${ARG_NAME} PRIVATE PELOTUNE_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}")
  project_warnings(${ARG_NAME})
  # The environment goes through `cmake -E env` around the executable (for discovery and every
  # case): a list given as a discovered test's property keeps only its first entry.
  if(ARG_ENVIRONMENT)
    set_target_properties(${ARG_NAME} PROPERTIES
      CROSSCOMPILING_EMULATOR "${CMAKE_COMMAND};-E;env;${ARG_ENVIRONMENT}")
  endif()
  gtest_discover_tests(${ARG_NAME}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    TEST_LIST ${ARG_NAME}_TESTS
    PROPERTIES TIMEOUT 300)
  # The labels, for the same reason, are set by a script of their own that CTest reads after the
  # discovery script: given as a discovered property, a second label would be taken for a property name.
  if(ARG_LABELS)
    set(labels_script ${CMAKE_CURRENT_BINARY_DIR}/${ARG_NAME}_labels.cmake)
    file(WRITE ${labels_script}
      "foreach(test IN LISTS ${ARG_NAME}_TESTS)\n"
      "  set_tests_properties(\"\${test}\" PROPERTIES LABELS \"${ARG_LABELS}\")\n"
      "endforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${labels_script})
  endif()
endfunction()

# add_project_fuzzer(NAME name SOURCES ... CORPUS dir [LIBS ...] [LABELS ...] [SECONDS n])
# A libFuzzer target, run by CTest for a bounded time over its seed corpus; what it
# finds new goes to a scratch folder in the build tree, never into the source tree. Labelled fuzz
# and LABELS.
function(add_project_fuzzer)
  cmake_parse_arguments(ARG "" "NAME;SECONDS;CORPUS" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT ARG_SECONDS)
    set(ARG_SECONDS 20)
  endif()
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS})
  target_link_options(${ARG_NAME} PRIVATE -fsanitize=fuzzer)
  project_warnings(${ARG_NAME})
  set(seeds ${ARG_CORPUS})
  set(scratch ${CMAKE_CURRENT_BINARY_DIR}/${ARG_NAME}.found)
  add_test(NAME fuzz.${ARG_NAME}
    COMMAND sh -c "rm -rf '${scratch}' && mkdir -p '${scratch}' && exec '$<TARGET_FILE:${ARG_NAME}>' -max_total_time=${ARG_SECONDS} -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 '${scratch}' '${seeds}'")
  set_tests_properties(fuzz.${ARG_NAME} PROPERTIES LABELS "fuzz;${ARG_LABELS}" TIMEOUT 300)
endfunction()

# add_project_bench(NAME name SOURCES ... [LIBS ...])
function(add_project_bench)
  cmake_parse_arguments(ARG "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} benchmark::benchmark benchmark::benchmark_main)
  project_warnings(${ARG_NAME})
endfunction()
