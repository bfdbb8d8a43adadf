# Sources are globbed, and automoc remembers which files it scanned: with Ninja, a file that
# appears later is never looked at for Q_OBJECT, so its "x.moc" is missing. When a target's list of
# sources changes, dropping automoc's stamp makes the next build scan the target again.
function(tovra_track_sources target)
  get_target_property(sources ${target} SOURCES)
  list(SORT sources)
  string(REPLACE ";" "\n" listing "${sources}")
  set(list_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_sources.txt)
  set(previous "")
  if(EXISTS ${list_file})
    file(READ ${list_file} previous)
  endif()
  if(NOT previous STREQUAL "${listing}\n")
    file(WRITE ${list_file} "${listing}\n")
    file(REMOVE ${CMAKE_CURRENT_BINARY_DIR}/${target}_autogen/timestamp)
  endif()
endfunction()
