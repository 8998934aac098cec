# SPDX-License-Identifier: MIT
# Run by cpack while it stages the Debian package: writes the copyright
# file, in Debian's machine-readable format, from LICENSE, and the
# changelog, in Debian's format and gzipped, from NEWS.md, into
# share/doc/quorvin1b of the staging tree.
set(source "${CPACK_QUORVIN_SOURCE_DIR}")
set(maintainer "${CPACK_DEBIAN_PACKAGE_MAINTAINER}")
if(NOT maintainer MATCHES "^[^<>]+ <[^<>@ ]+@[^<>@ ]+>$")
  message(FATAL_ERROR "The Debian package needs a maintainer: configure with "
                      "-DQUORVIN_MAINTAINER=\"Name <address>\"")
endif()
set(share "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/share")
set(doc "${share}/doc/${CPACK_PACKAGE_NAME}")
file(MAKE_DIRECTORY "${doc}")

# The license text follows its title and a blank line; in the copyright
# file each of its lines is indented, a blank one written as " .".
file(READ "${source}/LICENSE" license)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" holder "${license}")
set(holder "${CMAKE_MATCH_1}")
string(REGEX REPLACE "^[^\n]*\n\n[^\n]*\n\n" "" text "${license}")
string(REGEX REPLACE "\n+$" "" text "${text}")
string(REPLACE "\n\n" "\n.\n" text "${text}")
string(REPLACE "\n" "\n " text " ${text}")
file(WRITE "${doc}/copyright"
     "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
     "Upstream-Name: ${CPACK_PACKAGE_NAME}\n"
     "Upstream-Contact: ${maintainer}\n\n"
     "Files: *\nCopyright: ${holder}\nLicense: Expat\n${text}\n")

# Each "## VERSION (YYYY-MM-DD)" section of NEWS.md becomes an entry: its
# lines indented by two, "- " items as "* " items, signed by the maintainer
# on the section's date.
file(READ "${source}/NEWS.md" news)
string(REPLACE ";" "<semicolon>" news "${news}")
string(REPLACE "\n" ";" lines "${news}")
set(changelog "")
set(entry "")
foreach(line IN LISTS lines ITEMS "## end (1970-01-01)")
  if(line MATCHES "^## ([^ ]+) \\(([0-9-]+)\\)$")
    if(entry)
      string(REGEX REPLACE "\n+$" "" entry "${entry}")
      string(APPEND changelog "${entry}\n\n -- ${maintainer}  ${signed}\n\n")
    endif()
    if(NOT changelog AND NOT CMAKE_MATCH_1 STREQUAL CPACK_PACKAGE_VERSION)
      message(FATAL_ERROR "NEWS.md begins with ${CMAKE_MATCH_1}, not ${CPACK_PACKAGE_VERSION}")
    endif()
    set(entry "${CPACK_PACKAGE_NAME} (${CMAKE_MATCH_1}) unstable; urgency=medium\n")
    execute_process(COMMAND date -u -R -d "${CMAKE_MATCH_2}" OUTPUT_VARIABLE signed
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
  elseif(entry AND line MATCHES "^- (.*)")
    string(APPEND entry "  * ${CMAKE_MATCH_1}\n")
  elseif(entry AND line STREQUAL "")
    string(APPEND entry "\n")
  elseif(entry)
    string(APPEND entry "  ${line}\n")
  endif()
endforeach()
string(REPLACE "<semicolon>" ";" changelog "${changelog}")
string(REGEX REPLACE "\n+$" "\n" changelog "${changelog}")
file(WRITE "${doc}/changelog" "${changelog}")
execute_process(COMMAND gzip -n -9 -f "${doc}/changelog" RESULT_VARIABLE failed)

# The same modes whatever the umask of whoever packs it.
execute_process(COMMAND chmod 0755 "${share}" "${share}/doc" "${doc}")
execute_process(COMMAND chmod 0644 "${doc}/copyright" "${doc}/changelog.gz" RESULT_VARIABLE failed2)
if(failed OR failed2 OR NOT signed)
  message(FATAL_ERROR "Could not write the changelog of the Debian package")
endif()
