# Copies every file of SRC into DST that DST does not have yet, so a rebuild never
# overwrites settings or lists that the program has saved in its folder.
file(GLOB_RECURSE files RELATIVE "${SRC}" "${SRC}/*")
foreach(f IN LISTS files)
  if(NOT EXISTS "${DST}/${f}")
    get_filename_component(dir "${DST}/${f}" DIRECTORY)
    file(MAKE_DIRECTORY "${dir}")
    file(COPY "${SRC}/${f}" DESTINATION "${dir}")
  endif()
endforeach()
