# The reference plug-ins' platform-free code: PCM conversion and WAVE files.
set(TB_PCM_SOURCES
    ${PROJECT_SOURCE_DIR}/plugins/pcm/channel_mix.cpp
    ${PROJECT_SOURCE_DIR}/plugins/pcm/converter.cpp
    ${PROJECT_SOURCE_DIR}/plugins/pcm/fft.cpp
    ${PROJECT_SOURCE_DIR}/plugins/pcm/format.cpp
    ${PROJECT_SOURCE_DIR}/plugins/pcm/resampler.cpp)
set(TB_WAV_SOURCES
    ${PROJECT_SOURCE_DIR}/plugins/wav/byte_io.cpp
    ${PROJECT_SOURCE_DIR}/plugins/wav/wav_parse.cpp
    ${PROJECT_SOURCE_DIR}/plugins/wav/wav_writer.cpp)
list(APPEND TB_PURE_SOURCES ${TB_PCM_SOURCES} ${TB_WAV_SOURCES})
list(APPEND TB_PURE_TESTS
     ${PROJECT_SOURCE_DIR}/tests/plugins_pure/channel_mix_test.cpp
     ${PROJECT_SOURCE_DIR}/tests/plugins_pure/converter_test.cpp
     ${PROJECT_SOURCE_DIR}/tests/plugins_pure/fft_test.cpp
     ${PROJECT_SOURCE_DIR}/tests/plugins_pure/pcm_format_test.cpp
     ${PROJECT_SOURCE_DIR}/tests/plugins_pure/resampler_test.cpp
     ${PROJECT_SOURCE_DIR}/tests/plugins_pure/wav_parse_test.cpp
     ${PROJECT_SOURCE_DIR}/tests/plugins_pure/wav_writer_test.cpp)
list(APPEND TB_FUZZ_TARGETS wav_parse)
# The WAVE decoder plug-in's own platform-free helpers.
list(APPEND TB_PURE_SOURCES ${PROJECT_SOURCE_DIR}/plugins/wave/wave_probe.cpp)
list(APPEND TB_PURE_TESTS ${PROJECT_SOURCE_DIR}/tests/plugins/reference_test/wave_probe_test.cpp)
# The downloader's URL and path texts (its tests sit with its Windows tests).
list(APPEND TB_PURE_SOURCES ${PROJECT_SOURCE_DIR}/plugins/netfetch/url_text.cpp)
list(APPEND TB_PURE_TESTS ${PROJECT_SOURCE_DIR}/tests/plugins/netfetch_test/url_text_test.cpp)
