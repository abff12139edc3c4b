# Open time, exact-seek time against FFmpeg's own floor, and decode
# throughput through the graph against a plain FFmpeg loop, per container.
# Reads the generated clips: run `ctest -R make_clips` first. Instruction
# counts of both sides: bench/count-instructions.sh.
if(TARGET kestrova_test_clips)
  add_executable(bench_platform_filters ${CMAKE_CURRENT_LIST_DIR}/filters_bench.cpp)
  target_link_libraries(bench_platform_filters PRIVATE platform_filters kestrova_test_clips PkgConfig::FFMPEG
                                                       benchmark::benchmark)
  kestrova_apply_flags(bench_platform_filters)
endif()
