# The bytecode loader, and loading then running under an instruction budget.
kestrova_fuzzer(script_runtime_load SOURCES script_runtime_load.cpp DEPS script_runtime)
kestrova_fuzzer(script_runtime_run SOURCES script_runtime_run.cpp DEPS script_runtime)
