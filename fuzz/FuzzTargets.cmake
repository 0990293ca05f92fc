# The fuzz targets and what each needs. Shared by the libFuzzer build (fuzz/, TUNELO_FUZZ=ON) and the
# corpus replay that every build runs as tests (tests/fuzz/).
set(TUNELO_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
set(TUNELO_FUZZ_TARGETS decode_frame tag_reader ini_file stream_decoder open_stream album_file jukebox_album)

set(TUNELO_FUZZ_LIBS_decode_frame tunelo_decoder)
set(TUNELO_FUZZ_LIBS_tag_reader tunelo_tags)
set(TUNELO_FUZZ_LIBS_ini_file tunelo_platform)
set(TUNELO_FUZZ_LIBS_stream_decoder tunelo_cli)
set(TUNELO_FUZZ_LIBS_open_stream tunelo_engine)
set(TUNELO_FUZZ_LIBS_album_file tunelo_cli)
set(TUNELO_FUZZ_LIBS_jukebox_album tunelo_jukebox)

# Adds the executable from fuzz/<target>_fuzzer.cpp plus any further sources given, linked as the target
# needs.
function(tunelo_add_fuzz_executable target executable)
  add_executable(${executable} ${TUNELO_FUZZ_DIR}/${target}_fuzzer.cpp ${ARGN})
  target_link_libraries(${executable} PRIVATE ${TUNELO_FUZZ_LIBS_${target}})
endfunction()
