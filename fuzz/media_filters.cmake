target_compile_options(media_filters PRIVATE -fsanitize=fuzzer-no-link)

kestrova_fuzzer(fuzz_filter_samples
  SOURCES media_filters_samples.cpp
  DEPS media_filters)
