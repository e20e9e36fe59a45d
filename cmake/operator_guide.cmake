# The operator's guide as the Windows zip's README.txt: docs/operator-guide.md
# made plain text for Notepad. The title names the version; code spans lose
# their backticks, links keep their text; pictures and comments are left out;
# every line ends CR LF. Configuring again follows a change to the guide.
function(vemtrac_operator_guide guide_md readme_txt version)
  file(READ ${guide_md} text)
  string(REGEX REPLACE "^# vemtrac" "# vemtrac ${version}" text "${text}")
  string(REGEX REPLACE "\n\n!\\[[^\n]*\n" "\n" text "${text}")
  string(REGEX REPLACE "\n\n<!--[^\n]*-->\n" "\n" text "${text}")
  string(REGEX REPLACE "\\[([^]\n]*)\\]\\([^)\n]*\\)" "\\1" text "${text}")
  string(REPLACE "`" "" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${readme_txt} "${text}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${guide_md})
endfunction()
