# CHANGELOG.md in the form Debian keeps a native package's changelog (debian/changelog syntax),
# so that the package and the repository tell one history:
#   cmake -DIN=CHANGELOG.md -DOUT=changelog -DPACKAGE=velmar -DMAINTAINER="..." -P this
# Each "## VERSION (YYYY-MM-DD)" heading starts an entry, each "- " line a change; Markdown's
# backticks go, as a changelog reader shows them as they are.
file(STRINGS ${IN} lines)
set(text "")
set(open_entry "")
foreach(line IN LISTS lines)
  string(REPLACE "`" "" line "${line}")
  if(line MATCHES "^## ([0-9.]+) \\(([0-9-]+)\\)$")
    string(APPEND text "${open_entry}")
    set(version ${CMAKE_MATCH_1})
    execute_process(COMMAND date -u -R -d ${CMAKE_MATCH_2}
      OUTPUT_VARIABLE when OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    string(APPEND text "${PACKAGE} (${version}) unstable; urgency=medium\n\n")
    set(open_entry "\n -- ${MAINTAINER}  ${when}\n\n")
  elseif(NOT version)
    continue()  # the file's own title and preface
  elseif(line MATCHES "^- (.*)")
    string(APPEND text "  * ${CMAKE_MATCH_1}\n")
  elseif(line MATCHES "^  +(.*)")
    string(APPEND text "    ${CMAKE_MATCH_1}\n")
  endif()
endforeach()
string(REGEX REPLACE "\n\n$" "\n" open_entry "${open_entry}")
file(WRITE ${OUT} "${text}${open_entry}")
