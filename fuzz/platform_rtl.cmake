# The runtime value texts: numbers, colours and date-time formats.
kestrova_fuzzer(rtl_text_fuzz SOURCES rtl_text_fuzz.cpp DEPS platform_rtl QT_ALLOCATIONS)
