# The runtime itself carries the coverage instrumentation, so that the
# fuzzer is guided by the loader and the interpreter, not only the harness.
target_compile_options(script_runtime PRIVATE -fsanitize=fuzzer-no-link)

kestrova_fuzzer(script_runtime_load SOURCES script_runtime_load.cpp DEPS script_runtime)
kestrova_fuzzer(script_runtime_run SOURCES script_runtime_run.cpp DEPS script_runtime)
