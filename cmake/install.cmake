# What `cmake --install` puts under the prefix, and the Debian package made
# of it by `cpack -G DEB`. tests/install/files.txt lists the result.
include(GNUInstallDirs)

install(TARGETS tolvar tolvar-decompile tolvar-text tolvar-lsp RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The changelog's first entry is this version's: a version without an entry
# fails here, and its date goes into the manual pages.
file(STRINGS cmake/debian/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^tolvar \\(([^)]*)\\) " OR NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "cmake/debian/changelog: the first entry is not version ${PROJECT_VERSION}")
endif()
file(STRINGS cmake/debian/changelog changelog_trailer REGEX "^ -- " LIMIT_COUNT 1)
if(NOT changelog_trailer MATCHES ">  [A-Z][a-z][a-z], ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
  message(FATAL_ERROR "cmake/debian/changelog: no date in the first entry")
endif()
set(day ${CMAKE_MATCH_1})
set(year ${CMAKE_MATCH_3})
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND months ${CMAKE_MATCH_2} month)
math(EXPR month "${month} + 1" OUTPUT_FORMAT DECIMAL)
if(month LESS 10)
  set(month 0${month})
endif()
set(TOLVAR_DATE ${year}-${month}-${day})

# Manual pages carry the version and the date and are installed compressed,
# as Debian wants them; man reads them so under any prefix.
find_program(GZIP_EXE gzip REQUIRED)
set(TOLVAR_MAN_PAGES tolvar.1 tolvar-decompile.1 tolvar-text.1 tolvar-lsp.1 tolvar-script.5)
set(man_dir ${PROJECT_BINARY_DIR}/man)
set(man_archives)
foreach(page IN LISTS TOLVAR_MAN_PAGES)
  configure_file(man/${page}.in ${man_dir}/${page} @ONLY)
  add_custom_command(OUTPUT ${man_dir}/${page}.gz
    COMMAND ${GZIP_EXE} -9 -n -k -f ${page}
    DEPENDS ${man_dir}/${page}
    WORKING_DIRECTORY ${man_dir}
    VERBATIM)
  list(APPEND man_archives ${man_dir}/${page}.gz)
  string(REGEX REPLACE ".*\\." "" section ${page})
  install(FILES ${man_dir}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_archives})

set(doc_dir ${PROJECT_BINARY_DIR}/doc)
configure_file(cmake/debian/changelog ${doc_dir}/changelog COPYONLY)
add_custom_command(OUTPUT ${doc_dir}/changelog.gz
  COMMAND ${GZIP_EXE} -9 -n -k -f changelog
  DEPENDS ${doc_dir}/changelog
  WORKING_DIRECTORY ${doc_dir}
  VERBATIM)
add_custom_target(changelog ALL DEPENDS ${doc_dir}/changelog.gz)

# bash-completion loads a file by the command's name: one file, four names.
foreach(command tolvar tolvar-decompile tolvar-text tolvar-lsp)
  install(FILES completion/tolvar.bash
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME ${command})
endforeach()

# Vim finds share/vim/vimfiles under /usr. Of the VS Code and Sublime Text
# folders, what an editor reads: the grammars for other editors, not the
# .vsix's making.
install(DIRECTORY editors/vim/ DESTINATION ${CMAKE_INSTALL_DATADIR}/vim/vimfiles)
install(DIRECTORY editors/vscode editors/sublime
  DESTINATION ${CMAKE_INSTALL_DATADIR}/tolvar/editors
  REGEX "/(node_modules|package-lock\\.json|\\.vscodeignore|README\\.md|LICENSE|[^/]*\\.vsix)$" EXCLUDE
  REGEX "/vscode/(extension\\.js|rollup\\.config\\.mjs|dist)$" EXCLUDE)
# Debian's places: the licence in its machine-readable form, the changelog,
# and the examples the manual pages use.
install(FILES README.md cmake/debian/copyright ${doc_dir}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

set(TOLVAR_PACKAGE_MAINTAINER "tolvar maintainers <maintainers@tolvar.invalid>"
  CACHE STRING "The Maintainer field of the Debian package")
set(CPACK_PACKAGE_NAME tolvar)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "compiler and decompiler for role-playing game conversation scripts")
set(CPACK_PACKAGE_DESCRIPTION
  "tolvar compiles the line-oriented conversation scripts of a family of\n\
role-playing game engines into the byte-code their conversation interpreter\n\
runs; tolvar-decompile turns such byte-code back into a script that compiles\n\
to the same bytes; tolvar-text moves a script's texts into a text file\n\
and translates them through gettext PO files. With manual pages, bash\n\
completion and highlighting for\n\
Vim, VS Code and Sublime Text.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TOLVAR_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion, vim")
find_program(DPKG_SHLIBDEPS_EXE dpkg-shlibdeps)
if(DPKG_SHLIBDEPS_EXE)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6")
endif()
include(CPack)
