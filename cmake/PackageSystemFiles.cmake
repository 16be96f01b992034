# Run by CPack on its staging folder before the package is built: the unit,
# the menu entry and the icon, installed inside the program's prefix, move to
# the system's folders for them.
file(GLOB_RECURSE units "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*${CPACK_PACKAGING_INSTALL_PREFIX}/systemd/*.service")
foreach(unit ${units})
    string(REPLACE "${CPACK_PACKAGING_INSTALL_PREFIX}/systemd/" "/usr/lib/systemd/user/" target "${unit}")
    get_filename_component(folder "${target}" DIRECTORY)
    file(MAKE_DIRECTORY "${folder}")
    file(RENAME "${unit}" "${target}")
endforeach()
file(GLOB_RECURSE shared "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*${CPACK_PACKAGING_INSTALL_PREFIX}/share/*")
foreach(file ${shared})
    string(REPLACE "${CPACK_PACKAGING_INSTALL_PREFIX}/share/" "/usr/share/" target "${file}")
    get_filename_component(folder "${target}" DIRECTORY)
    file(MAKE_DIRECTORY "${folder}")
    file(RENAME "${file}" "${target}")
endforeach()
