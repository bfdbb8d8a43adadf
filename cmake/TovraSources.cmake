# Sources are globbed, and automoc remembers which files it scanned: a file that appears later
# would never be looked at for Q_OBJECT. Writing the list to a file that autogen depends on makes
# every change of the list rerun the scan.
function(tovra_track_sources target)
  get_target_property(sources ${target} SOURCES)
  list(SORT sources)
  string(REPLACE ";" "\n" listing "${sources}")
  set(list_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_sources.txt)
  file(CONFIGURE OUTPUT ${list_file} CONTENT "${listing}\n")
  set_property(TARGET ${target} APPEND PROPERTY AUTOGEN_TARGET_DEPENDS ${list_file})
endfunction()
