# Run by CPack on its staging root before the package is built: the unit, the
# menu entry and the icon, installed inside the program's prefix, move to the
# system's folders for them.
set(staging "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
set(prefix "${staging}${CPACK_PACKAGING_INSTALL_PREFIX}")
foreach(move "systemd|usr/lib/systemd/user" "share|usr/share")
    string(REPLACE "|" ";" move "${move}")
    list(GET move 0 from)
    list(GET move 1 to)
    file(GLOB_RECURSE files RELATIVE "${prefix}/${from}" "${prefix}/${from}/*")
    foreach(file ${files})
        get_filename_component(folder "${staging}/${to}/${file}" DIRECTORY)
        file(MAKE_DIRECTORY "${folder}")
        file(RENAME "${prefix}/${from}/${file}" "${staging}/${to}/${file}")
    endforeach()
    file(REMOVE_RECURSE "${prefix}/${from}")
endforeach()
