# The splitters fed arbitrary bytes: the container reader alone (probing,
# opening, reading, seeking), then the splitter filter that the file source
# connects to, with the decoders behind its pins, played, seeked and played
# again. Each ends with a result, never a crash or a hang.
kestrova_fuzzer(fuzz_demuxer
  SOURCES platform_filters_demuxer.cpp
  DEPS platform_filters Qt6::Core PkgConfig::FFMPEG
  QT_ALLOCATIONS)
