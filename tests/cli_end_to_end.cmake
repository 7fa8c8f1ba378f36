# The installed tool as a process, on a copy of the supplied data folder.
# Run by CTest: cmake -DCLI=<executable> -DWORK=<scratch folder> -DSUPPLIED=<data/> -DFIXTURES=<tests/data> -P this file.

foreach(var CLI WORK SUPPLIED FIXTURES)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
file(COPY "${SUPPLIED}/" DESTINATION "${WORK}/data" PATTERN "CMakeLists.txt" EXCLUDE)
set(DATA "${WORK}/data")

# Runs the tool with the given arguments; sets rc, out and err in the caller.
function(run_cli)
  execute_process(COMMAND "${CLI}" ${ARGN}
                  RESULT_VARIABLE code OUTPUT_VARIABLE stdout ERROR_VARIABLE stderr)
  set(rc "${code}" PARENT_SCOPE)
  set(out "${stdout}" PARENT_SCOPE)
  set(err "${stderr}" PARENT_SCOPE)
endfunction()

function(expect_rc what expected)
  if(NOT "${rc}" STREQUAL "${expected}")
    message(FATAL_ERROR "${what}: exit status ${rc}, expected ${expected}\nstdout:\n${out}\nstderr:\n${err}")
  endif()
endfunction()

function(expect_in what text needle)
  string(FIND "${text}" "${needle}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${what}: '${needle}' not found in:\n${text}")
  endif()
endfunction()

run_cli(--help)
expect_rc("--help" 0)
foreach(command stats tags search hot recent bundles import export export-template)
  expect_in("--help" "${out}" "\n  ${command}")
endforeach()

run_cli(--data-folder "${DATA}" stats)
expect_rc("stats" 0)
expect_in("stats" "${out}" "bookmarks: 3\n")
expect_in("stats" "${out}" "hot: 1\n")

run_cli(--data-folder "${DATA}" --json hot)
expect_rc("--json hot" 0)
expect_in("--json hot" "${out}" "\"href\":\"http://pyxml.sourceforge.net/topics/xbel/\"")

run_cli(--data-folder "${DATA}" frobnicate)
expect_rc("unknown command" 2)
expect_in("unknown command" "${err}" "unknown command 'frobnicate'")

run_cli(--data-folder "${DATA}" --file "${WORK}/missing.xbel" stats)
expect_rc("missing --file" 1)
expect_in("missing --file" "${err}" "${WORK}/missing.xbel")
if(NOT "${out}" STREQUAL "")
  message(FATAL_ERROR "missing --file printed results:\n${out}")
endif()

# A browser's export into a new file and back out, with the supplied header.
run_cli(--data-folder "${DATA}" import html "${FIXTURES}/html/firefox_export.html" "${WORK}/imported.xbel")
expect_rc("import html" 0)
expect_in("import html" "${out}" "Added 5 folders and 9 bookmarks")
run_cli(--data-folder "${DATA}" export html "${WORK}/imported.xbel" "${WORK}/exported.html")
expect_rc("export html" 0)
file(READ "${WORK}/exported.html" exported)
expect_in("export html" "${exported}" "<!DOCTYPE NETSCAPE-Bookmark-file-1>")
run_cli(--data-folder "${DATA}" export-template "normal html" "${WORK}/imported.xbel" "${WORK}/list.htm")
expect_rc("export-template" 0)

message(STATUS "tessellink-cli end to end: passed")
