# Interval capture to JPEG against FFmpeg making the same pictures, both in
# this process.
# Makes its own clip with the ffmpeg tool, at start.
if(TARGET kestrova_test_clips AND TARGET app)
  add_executable(bench_interval ${CMAKE_CURRENT_LIST_DIR}/interval_bench.cpp)
  target_link_libraries(bench_interval PRIVATE app kestrova_test_clips PkgConfig::FFMPEG benchmark::benchmark)
  target_compile_definitions(bench_interval PRIVATE KESTROVA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  kestrova_apply_flags(bench_interval)
endif()
