# Makes the tool's manual page from its --help text with help2man, run when
# installing. The lines of an indented paragraph (the usage forms, the
# examples, a usage form's wrapped options) stay lines, as --help prints them, instead of being filled into
# one, and a paragraph that starts with a word and a gap (a subcommand and
# what it does; help2man takes it for a heading when it ends in a colon)
# becomes a tagged one, as the options are. In: KSV_HELP2MAN, KSV_CLI, KSV_VERSION, KSV_H2M, KSV_PAGE.
get_filename_component(_dir "${KSV_PAGE}" DIRECTORY)
file(MAKE_DIRECTORY "${_dir}")
execute_process(COMMAND "${KSV_HELP2MAN}" --no-info --section=1 "--version-string=${KSV_VERSION}"
    "--name=the KSV27 multimeter from the command line" "--include=${KSV_H2M}"
    "--output=${KSV_PAGE}.h2m" "${KSV_CLI}"
  RESULT_VARIABLE _status)
if(NOT _status EQUAL 0)
  message(FATAL_ERROR "help2man could not make the tool's manual page")
endif()
execute_process(COMMAND awk "
    function flush() { if (held) print \".PP\"; held = 0 }
    /^[.]PP$/ { flush(); held = 1; lines = 0; tagged = 0; next }
    function tag(line) {
      term = line; sub(/  .*/, \"\", term); text = line; sub(/^[^ ]*  */, \"\", text)
      print \".TP\"; print term; print text; tagged = 1 }
    held && /^[^ .][^ ]*   */ { held = 0; tag(\$0); next }
    { flush() }
    /^[.]SS \"[^ ]*   */ { line = \$0; sub(/^[.]SS \"/, \"\", line); sub(/\"\$/, \"\", line)
      gsub(/-/, \"\\\\-\", line); tag(line); next }
    /^[.]IP$/ && tagged { tagged = 0; next }
    /^[.]TP$/ && lines { wrapped = 1; next }
    wrapped { wrapped = 0; if (/^[[]/) { print \".br\"; print; next } print \".TP\"; lines = 0 }
    /^[.]IP$/ { lines = 1; print; next }
    /^[.]/ { lines = 0; tagged = 0; print; next }
    lines { if (lines++ > 1) print \".br\"; print; next }
    { print }"
  INPUT_FILE "${KSV_PAGE}.h2m" OUTPUT_FILE "${KSV_PAGE}" RESULT_VARIABLE _status)
file(REMOVE "${KSV_PAGE}.h2m")
if(NOT _status EQUAL 0)
  message(FATAL_ERROR "the tool's manual page could not be laid out")
endif()
message(STATUS "Installing: ${KSV_PAGE}")
