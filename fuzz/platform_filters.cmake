# The container reader behind every splitter, fed arbitrary bytes: probing,
# opening, reading and seeking end with a result, never a crash or a hang.
# Built from the reader's own sources, which need no widgets.
set(filters_dir ${PROJECT_SOURCE_DIR}/platform/filters)
kestrova_fuzzer(fuzz_demuxer
  SOURCES platform_filters_demuxer.cpp ${filters_dir}/demuxer.cpp ${filters_dir}/stream_types.cpp
          ${filters_dir}/file_source.cpp ${filters_dir}/av_util.cpp
  DEPS platform_graph Qt6::Core PkgConfig::FFMPEG)
