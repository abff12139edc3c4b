# The bytecode loader, and loading then running under an instruction budget.
kestrova_fuzzer(script_runtime_load SOURCES script_runtime_load.cpp DEPS script_runtime)
kestrova_fuzzer(script_runtime_run SOURCES script_runtime_run.cpp DEPS script_runtime)
# Debug data beside a compiled image, then a run that looks positions up.
kestrova_fuzzer(script_runtime_debug_info SOURCES script_runtime_debug_info.cpp DEPS script_compiler script_runtime)
# Runs from the decoded code, stepped and combined, against runs that read
# every instruction from its bytes.
kestrova_fuzzer(script_runtime_quick SOURCES script_runtime_quick.cpp DEPS script_runtime)
