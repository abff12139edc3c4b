# The video notifier's readers and the resampler, fed arbitrary samples.
kestrova_fuzzer(fuzz_filter_samples
  SOURCES media_filters_samples.cpp
  DEPS media_filters
  QT_ALLOCATIONS)
