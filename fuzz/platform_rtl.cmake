# Fuzz target of the runtime value texts. The library's sources are compiled
# into the target so that libFuzzer sees their coverage.
get_target_property(platform_rtl_dir platform_rtl SOURCE_DIR)
get_target_property(platform_rtl_sources platform_rtl SOURCES)
list(TRANSFORM platform_rtl_sources PREPEND ${platform_rtl_dir}/)

kestrova_fuzzer(rtl_text_fuzz SOURCES rtl_text_fuzz.cpp ${platform_rtl_sources} DEPS Qt6::Core Qt6::Gui)
target_include_directories(rtl_text_fuzz PRIVATE ${PROJECT_SOURCE_DIR})
