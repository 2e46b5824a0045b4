# Runs after CPack has installed into its staging folder, before the package
# is made. CPack installs with DESTDIR set to that folder; an install rule that
# adds $ENV{DESTDIR} to its destination itself (file(INSTALL) adds it again)
# lands under <staging><staging>. Such files are moved to where the rule
# meant them, so the package never holds a path of the machine that built it.
set(_staging "${CPACK_TEMPORARY_DIRECTORY}")
set(_doubled "${_staging}${_staging}")
if(NOT _staging OR NOT IS_DIRECTORY "${_doubled}")
  return()
endif()
file(GLOB_RECURSE _files LIST_DIRECTORIES false RELATIVE "${_doubled}" "${_doubled}/*")
foreach(_file IN LISTS _files)
  get_filename_component(_folder "${_staging}/${_file}" DIRECTORY)
  file(MAKE_DIRECTORY "${_folder}")
  file(RENAME "${_doubled}/${_file}" "${_staging}/${_file}")
  message(STATUS "Moved into the package root: /${_file}")
endforeach()
# The emptied folders, up to the staging folder itself.
file(REMOVE_RECURSE "${_doubled}")
get_filename_component(_folder "${_doubled}" DIRECTORY)
while(NOT _folder STREQUAL _staging AND IS_DIRECTORY "${_folder}")
  file(GLOB _left "${_folder}/*")
  if(_left)
    break()
  endif()
  file(REMOVE_RECURSE "${_folder}")
  get_filename_component(_folder "${_folder}" DIRECTORY)
endwhile()
