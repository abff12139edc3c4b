# Command-line arguments and the actions' text forms. The actions need the
# widget libraries, so the target exists only in a full (not core-only) build.
if(TARGET framework_actions)
  kestrova_fuzzer(actions_text_fuzzer SOURCES actions_text_fuzzer.cpp DEPS framework_actions QT_ALLOCATIONS)
endif()
