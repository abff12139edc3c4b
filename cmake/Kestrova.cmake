# Shared build rules for the project's own targets.

set(KESTROVA_WARNINGS -Wall -Wextra -Werror)

function(kestrova_apply_flags target)
  target_compile_options(${target} PRIVATE ${KESTROVA_WARNINGS})
  if(KESTROVA_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=${KESTROVA_SANITIZE} -fno-omit-frame-pointer
                                             -fno-sanitize-recover=all)
    target_link_options(${target} PRIVATE -fsanitize=${KESTROVA_SANITIZE})
  endif()
endfunction()

# kestrova_library(<name> SOURCES ... [DEPS ...] [PRIVATE_DEPS ...])
# One library per folder; headers are included as "platform/core/guid.h" etc.
function(kestrova_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  kestrova_apply_flags(${name})
  if(KESTROVA_SANITIZE)
    target_link_options(${name} INTERFACE -fsanitize=${KESTROVA_SANITIZE})
  endif()
  # In a fuzz build every library carries the coverage instrumentation, so
  # that the fuzzers are guided by the code under test, not only the harness.
  if(KESTROVA_FUZZ)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
endfunction()

# kestrova_test(<name> SOURCES ... DEPS ... [MAIN plain|core|gui] [CLIPS] [XVFB])
# MAIN chooses the test entry: plain GoogleTest, a QCoreApplication or a QApplication.
# CLIPS makes every test of the program wait for the generated media clips.
# XVFB runs the whole program as one test on a virtual X server of its own
# (tests/scripts/under-xvfb.sh), where windows get real X key events.
function(kestrova_test name)
  cmake_parse_arguments(ARG "CLIPS;XVFB" "MAIN" "SOURCES;DEPS" ${ARGN})
  if(NOT ARG_MAIN)
    set(ARG_MAIN plain)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} kestrova_testmain_${ARG_MAIN})
  target_compile_definitions(${name} PRIVATE
    KESTROVA_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    KESTROVA_CLIPS_DIR="${PROJECT_BINARY_DIR}/clips"
    KESTROVA_TEST_BINARY_DIR="${CMAKE_CURRENT_BINARY_DIR}")
  kestrova_apply_flags(${name})
  # One value per property: a list value would be split into separate
  # arguments on its way through test discovery.
  # Each test is labelled with its program, so that a run can pick whole
  # programs (scripts/tsan.sh).
  set(props ENVIRONMENT "QT_QPA_PLATFORM=offscreen" ENVIRONMENT_MODIFICATION "KESTROVA_AUDIO=set:null"
    LABELS ${name})
  if(ARG_CLIPS)
    list(APPEND props FIXTURES_REQUIRED clips)
  endif()
  if(ARG_XVFB)
    add_test(NAME ${name} COMMAND bash ${PROJECT_SOURCE_DIR}/tests/scripts/under-xvfb.sh $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600)
    if(ARG_CLIPS)
      set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED clips)
    endif()
    return()
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()

# A test of the main window: the fixture puts the private filter module in
# the program's folder, as an installed program has it.
function(kestrova_window_test name)
  add_dependencies(${name} kestrova_private_filters)
  target_compile_definitions(${name} PRIVATE
    KESTROVA_PRIVATE_FOLDER="$<TARGET_FILE_DIR:kestrova_private_filters>")
endfunction()
