# The script compiler's readers of script text: the tokenizer, the
# preprocessor, and the declarations that run as part of a compile.
foreach(target script_tokenizer_fuzz script_preprocessor_fuzz)
  kestrova_fuzzer(${target} SOURCES ${target}.cpp DEPS script_compiler)
endforeach()
# Whole compiles: a successful compile's image must load and run.
kestrova_fuzzer(script_compile_fuzz SOURCES script_compile_fuzz.cpp DEPS script_compiler script_runtime)
