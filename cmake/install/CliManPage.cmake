# Makes the tool's manual page from its --help text, run when installing:
# docs/man/help-to-man.awk lays the text out by the layout rules of --help,
# then the page's own FILES and SEE ALSO follow. Its date is the month of
# SOURCE_DATE_EPOCH when that is set, so a rebuild makes the same page.
# In: KSV_CLI, KSV_VERSION, KSV_MAN_DIR (docs/man), KSV_PAGE.
get_filename_component(_dir "${KSV_PAGE}" DIRECTORY)
file(MAKE_DIRECTORY "${_dir}")
string(TIMESTAMP _date "%B %Y" UTC)
execute_process(COMMAND "${KSV_CLI}" --help
  COMMAND env LC_ALL=C awk -v "version=${KSV_VERSION}" -v "date=${_date}" -f "${KSV_MAN_DIR}/help-to-man.awk"
  OUTPUT_FILE "${KSV_PAGE}.new" RESULTS_VARIABLE _status)
if(NOT _status STREQUAL "0;0")
  file(REMOVE "${KSV_PAGE}.new")
  message(FATAL_ERROR "the tool's manual page could not be made from its --help (${_status})")
endif()
file(READ "${KSV_MAN_DIR}/ksv27-vorn-cli.tail" _tail)
file(APPEND "${KSV_PAGE}.new" "${_tail}")
file(RENAME "${KSV_PAGE}.new" "${KSV_PAGE}")
message(STATUS "Installing: ${KSV_PAGE}")
