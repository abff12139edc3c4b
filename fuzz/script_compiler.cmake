# The script compiler's readers of script text: the tokenizer, the
# preprocessor, and the declarations that run as part of a compile.
foreach(target script_tokenizer_fuzz script_preprocessor_fuzz)
  kestrova_fuzzer(${target} SOURCES ${target}.cpp DEPS script_compiler)
endforeach()
# A successful compile's image must load.
kestrova_fuzzer(script_declarations_fuzz SOURCES script_declarations_fuzz.cpp DEPS script_runtime)
