# Navigation steps and precise seeks against FFmpeg's own floor, per
# container. Reads the generated clips: run `ctest -R make_clips` first.
if(TARGET kestrova_test_clips AND TARGET media_engine)
  add_executable(bench_nav ${CMAKE_CURRENT_LIST_DIR}/nav_bench.cpp
                           ${PROJECT_SOURCE_DIR}/tests/media/engine/engine_fixture.cpp)
  target_link_libraries(bench_nav PRIVATE media_engine platform_filters platform_renderers kestrova_test_clips
                                          PkgConfig::FFMPEG GTest::gtest benchmark::benchmark)
  kestrova_apply_flags(bench_nav)
endif()
