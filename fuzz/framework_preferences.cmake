# The ini-file store of the preferences. Its source needs only Qt Core, the
# runtime values and the atomic saving of platform/win, so the target builds
# in a core-only build too.
kestrova_fuzzer(preferences_ini_fuzzer
  SOURCES framework_preferences_ini.cpp ${PROJECT_SOURCE_DIR}/framework/preferences/ini_preferences.cpp
  DEPS platform_rtl platform_win Qt6::Core
  QT_ALLOCATIONS)
target_include_directories(preferences_ini_fuzzer PRIVATE ${PROJECT_SOURCE_DIR})
