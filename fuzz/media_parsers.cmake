# The DV frame, MPEG sequence header, scene list and subtitle readers.
kestrova_fuzzer(fuzz_dv_frame
  SOURCES media_parsers_dv_frame.cpp
  DEPS media_parsers
  QT_ALLOCATIONS)
kestrova_fuzzer(fuzz_mpeg_header
  SOURCES media_parsers_mpeg_header.cpp
  DEPS media_parsers
  QT_ALLOCATIONS)
kestrova_fuzzer(fuzz_scene_list
  SOURCES media_parsers_scene_list.cpp
  DEPS media_parsers
  QT_ALLOCATIONS)
kestrova_fuzzer(fuzz_srt
  SOURCES media_parsers_srt.cpp
  DEPS media_parsers
  QT_ALLOCATIONS)
