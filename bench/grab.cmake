# Grabbing and saving a picture against libjpeg's own encode. Reads the
# generated clips: run `ctest -R make_clips` first.
if(TARGET kestrova_test_clips AND TARGET app)
  add_executable(bench_grab ${CMAKE_CURRENT_LIST_DIR}/grab_bench.cpp)
  target_link_libraries(bench_grab PRIVATE app kestrova_test_clips JPEG::JPEG benchmark::benchmark)
  kestrova_apply_flags(bench_grab)
endif()
