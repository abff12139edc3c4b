add_executable(bench_script_runtime ${CMAKE_CURRENT_LIST_DIR}/script_runtime_bench.cpp
                                    ${PROJECT_SOURCE_DIR}/tests/script/runtime/image_builder.cpp)
target_link_libraries(bench_script_runtime PRIVATE script_runtime benchmark::benchmark)
kestrova_apply_flags(bench_script_runtime)
# The interpreter, directly and through the script component, against the
# lua5.4 tool on the same programs (scripts/deps.sh installs it).
add_executable(bench_script_lua ${CMAKE_CURRENT_LIST_DIR}/script_lua_bench.cpp)
target_link_libraries(bench_script_lua PRIVATE script_component)
kestrova_apply_flags(bench_script_lua)
