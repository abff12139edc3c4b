# Fuzz targets of the script compiler. The library's sources are compiled into
# each target so that libFuzzer sees their coverage.
get_target_property(script_compiler_dir script_compiler SOURCE_DIR)
get_target_property(script_compiler_sources script_compiler SOURCES)
list(TRANSFORM script_compiler_sources PREPEND ${script_compiler_dir}/)

foreach(target script_tokenizer_fuzz script_preprocessor_fuzz)
  kestrova_fuzzer(${target} SOURCES ${target}.cpp ${script_compiler_sources})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
endforeach()
