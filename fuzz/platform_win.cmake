kestrova_fuzzer(fuzz_reg_file
  SOURCES platform_win_reg_file.cpp
  DEPS platform_win
  QT_ALLOCATIONS)
