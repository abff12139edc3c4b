add_executable(bench_script_runtime ${CMAKE_CURRENT_LIST_DIR}/script_runtime_bench.cpp
                                    ${PROJECT_SOURCE_DIR}/tests/script/runtime/image_builder.cpp)
target_link_libraries(bench_script_runtime PRIVATE script_runtime benchmark::benchmark)
kestrova_apply_flags(bench_script_runtime)
