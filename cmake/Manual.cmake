# The manual, written once in Markdown under docs/manual/, becomes the help page (the whole manual
# as one HTML page) and the two manual pages (the chapters that belong in each). pandoc makes them
# in the build tree; they are installed from there. Run as a script (cmake -P), this file checks
# one generated page, so a page that came out empty or without its sections fails the build.

if(CMAKE_SCRIPT_MODE_FILE)
  # cmake -DPAGE=<file> -DKIND=man|html "-DSECTIONS=NAME;SYNOPSIS;..." -P Manual.cmake
  # A page that fails the check is removed, so the next build writes it again.
  macro(reject why)
    file(REMOVE "${PAGE}")
    message(FATAL_ERROR "${PAGE} ${why}")
  endmacro()
  if(NOT EXISTS "${PAGE}")
    message(FATAL_ERROR "${PAGE} was not written")
  endif()
  file(READ "${PAGE}" text)
  string(LENGTH "${text}" size)
  if(size LESS 1000)
    reject("holds only ${size} bytes")
  endif()
  if(KIND STREQUAL "man")
    foreach(section IN LISTS SECTIONS)
      if(NOT text MATCHES "\n\\.SH \"?${section}\"?\n")
        reject("lacks the section ${section}")
      endif()
    endforeach()
  else()
    # The page is opened offline from disk: it may link to the web but must not load from it.
    if(text MATCHES "<script|<link|src=\"(https?:)?//|url\\((https?:)?//")
      reject("loads something from outside the page")
    endif()
    if(NOT text MATCHES "id=\"about\"")
      reject("lacks the about section the window's banner opens")
    endif()
  endif()
  return()
endif()

option(TAVIMO_MANUAL "Build the help page and the manual pages (needs pandoc)" ON)
if(NOT TAVIMO_MANUAL)
  return()
endif()
find_program(TAVIMO_PANDOC pandoc)
if(NOT TAVIMO_PANDOC)
  message(FATAL_ERROR "pandoc makes the help page and the manual pages: run scripts/setup.sh, "
                      "or configure with -DTAVIMO_MANUAL=OFF to build without them")
endif()

set(tavimo_manual_src ${CMAKE_SOURCE_DIR}/docs/manual)
set(tavimo_manual_dir ${CMAKE_BINARY_DIR}/manual)
# Where the program run from the build tree finds its help page (platform/CMakeLists.txt).
set(TAVIMO_BUILD_HELP ${tavimo_manual_dir}/help.html)

set(tavimo_manual_chapters
  ${tavimo_manual_src}/01-introduction.md
  ${tavimo_manual_src}/02-window.md
  ${tavimo_manual_src}/03-options.md
  ${tavimo_manual_src}/04-scan-rules.md
  ${tavimo_manual_src}/05-keys-and-tray.md
  ${tavimo_manual_src}/06-command-line.md
  ${tavimo_manual_src}/07-tavimo-scan.md
  ${tavimo_manual_src}/08-files.md
  ${tavimo_manual_src}/09-troubleshooting.md
  ${tavimo_manual_src}/10-about.md)
# Each manual page: its head (title block, name, synopsis), the chapters it shares with the help
# page, its tail.
set(tavimo_man_tavimo
  ${tavimo_manual_src}/man/tavimo-head.md
  ${tavimo_manual_src}/01-introduction.md
  ${tavimo_manual_src}/06-command-line.md
  ${tavimo_manual_src}/05-keys-and-tray.md
  ${tavimo_manual_src}/08-files.md
  ${tavimo_manual_src}/09-troubleshooting.md
  ${tavimo_manual_src}/man/tavimo-tail.md)
set(tavimo_man_tavimo_scan
  ${tavimo_manual_src}/man/tavimo-scan-head.md
  ${tavimo_manual_src}/07-tavimo-scan.md
  ${tavimo_manual_src}/man/tavimo-scan-tail.md)
set(tavimo_man_sections_tavimo "NAME;SYNOPSIS;DESCRIPTION;OPTIONS;FILES;ENVIRONMENT;SEE ALSO")
set(tavimo_man_sections_tavimo_scan
  "NAME;SYNOPSIS;DESCRIPTION;OPTIONS;EXIT STATUS;FILES;ENVIRONMENT;SEE ALSO")

# Smart quotes would turn "--json" into a dash and the window's quoted texts into other bytes.
set(tavimo_pandoc ${TAVIMO_PANDOC} --from=markdown-smart
  --lua-filter=${tavimo_manual_src}/targets.lua)

add_custom_command(OUTPUT ${TAVIMO_BUILD_HELP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${tavimo_manual_dir}
  COMMAND ${tavimo_pandoc} --to=html5 --standalone --toc --toc-depth=2
    --metadata-file=${tavimo_manual_src}/help.yaml
    --include-in-header=${tavimo_manual_src}/help-style.html
    --output=${TAVIMO_BUILD_HELP} ${tavimo_manual_chapters}
  COMMAND ${CMAKE_COMMAND} -DPAGE=${TAVIMO_BUILD_HELP} -DKIND=html -P ${CMAKE_CURRENT_LIST_FILE}
  DEPENDS ${tavimo_manual_chapters} ${tavimo_manual_src}/targets.lua ${tavimo_manual_src}/help.yaml
    ${tavimo_manual_src}/help-style.html ${CMAKE_CURRENT_LIST_FILE}
  COMMENT "Writing the help page"
  VERBATIM)
set(tavimo_manual_outputs ${TAVIMO_BUILD_HELP})

foreach(page IN ITEMS tavimo tavimo-scan)
  string(REPLACE "-" "_" var ${page})
  set(out ${tavimo_manual_dir}/${page}.1)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${tavimo_manual_dir}
    COMMAND ${tavimo_pandoc} --to=man --standalone
      "--metadata=footer:Tavimo ${PROJECT_VERSION}" --metadata=hyphenate:false
      --output=${out} ${tavimo_man_${var}}
    COMMAND ${CMAKE_COMMAND} -DPAGE=${out} -DKIND=man "-DSECTIONS=${tavimo_man_sections_${var}}"
      -P ${CMAKE_CURRENT_LIST_FILE}
    DEPENDS ${tavimo_man_${var}} ${tavimo_manual_src}/targets.lua ${CMAKE_CURRENT_LIST_FILE}
    COMMENT "Writing the manual page ${page}(1)"
    VERBATIM)
  list(APPEND tavimo_manual_outputs ${out})
endforeach()

add_custom_target(tavimo_manual ALL DEPENDS ${tavimo_manual_outputs})

install(FILES ${TAVIMO_BUILD_HELP} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/tavimo)
install(FILES ${tavimo_manual_dir}/tavimo.1 ${tavimo_manual_dir}/tavimo-scan.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
