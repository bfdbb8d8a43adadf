# The test clip (cmake/testmedia.sh) is made once per build folder and kept there: the player
# tests, the player benchmark and the sample site read it from TOVRA_MEDIA_DIR.
find_program(TOVRA_FFMPEG ffmpeg)
set(TOVRA_MEDIA_DIR ${CMAKE_BINARY_DIR}/media)
if(TOVRA_FFMPEG)
  add_custom_command(
    OUTPUT ${TOVRA_MEDIA_DIR}/hls/master.m3u8 ${TOVRA_MEDIA_DIR}/dash/manifest.mpd
    COMMAND ${CMAKE_SOURCE_DIR}/cmake/testmedia.sh ${TOVRA_MEDIA_DIR}
    DEPENDS ${CMAKE_SOURCE_DIR}/cmake/testmedia.sh
    COMMENT "Making the test clip with ffmpeg"
    VERBATIM)
  add_custom_target(tovra_media ALL DEPENDS ${TOVRA_MEDIA_DIR}/hls/master.m3u8 ${TOVRA_MEDIA_DIR}/dash/manifest.mpd)
else()
  message(WARNING "ffmpeg not found: the player tests have no clip to play (run scripts/setup.sh)")
  add_custom_target(tovra_media)
endif()
# The HTML5 player page's library, installed by scripts/setup.sh from tools/shaka/package.json.
set(TOVRA_SHAKA_DIR ${CMAKE_BINARY_DIR}/shaka/node_modules/shaka-player/dist)
