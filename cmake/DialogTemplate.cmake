# Writes the alarm dialog of res/Tidewell.rc as the C++ template the window
# layer builds from, so that the resource script is the dialog's one source.
# cmake -DRC=res/Tidewell.rc -DOUT=.../TidewellDialogTemplate.h -P DialogTemplate.cmake
# Reads the statements Tidewell.rc uses: DIALOGEX, STYLE, CAPTION, FONT,
# DEFPUSHBUTTON and EDITTEXT (with the resource compiler's default styles).
file(STRINGS ${RC} lines ENCODING UTF-8)

# "A | B | NOT C" over a default style, as a C++ expression.
function(style_expression text default out)
  string(REPLACE "|" ";" terms "${text}")
  set(set_bits ${default})
  set(cleared_bits "")
  foreach(term ${terms})
    string(STRIP "${term}" term)
    if(term MATCHES "^NOT (.*)$")
      string(STRIP "${CMAKE_MATCH_1}" name)
      list(APPEND cleared_bits ${name})
      list(REMOVE_ITEM set_bits ${name})
    elseif(NOT term STREQUAL "")
      list(APPEND set_bits ${term})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES set_bits)
  string(REPLACE ";" " | " expr "${set_bits}")
  if(cleared_bits)
    string(REPLACE ";" " | " off_expr "${cleared_bits}")
    set(expr "(${expr}) & ~(${off_expr})")
  endif()
  set(${out} "static_cast<DWORD>(${expr})" PARENT_SCOPE)
endfunction()

set(items "")
set(count 0)
set(in_body OFF)
foreach(line ${lines})
  string(STRIP "${line}" line)
  if(line STREQUAL "BEGIN")
    set(in_body ON)
  elseif(line STREQUAL "END")
    set(in_body OFF)
  elseif(in_body AND line MATCHES "^DEFPUSHBUTTON +\"([^\"]*)\",([A-Za-z0-9_]+),([0-9]+),([0-9]+),([0-9]+),([0-9]+)$")
    string(APPEND items "    {0, 0, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, ${CMAKE_MATCH_3}, ${CMAKE_MATCH_4}, "
           "${CMAKE_MATCH_5}, ${CMAKE_MATCH_6}, ${CMAKE_MATCH_2}, L\"BUTTON\", L\"${CMAKE_MATCH_1}\"},\n")
    math(EXPR count "${count} + 1")
  elseif(in_body AND line MATCHES "^EDITTEXT +([A-Za-z0-9_]+),([0-9]+),([0-9]+),([0-9]+),([0-9]+),(.*)$")
    set(id ${CMAKE_MATCH_1})
    set(geometry "${CMAKE_MATCH_2}, ${CMAKE_MATCH_3}, ${CMAKE_MATCH_4}, ${CMAKE_MATCH_5}")
    style_expression("${CMAKE_MATCH_6}" "WS_CHILD;WS_VISIBLE;WS_TABSTOP;WS_BORDER" style)
    string(APPEND items "    {0, 0, ${style}, ${geometry}, ${id}, L\"EDIT\", L\"\"},\n")
    math(EXPR count "${count} + 1")
  elseif(in_body)
    message(FATAL_ERROR "${RC}: a control this generator does not know: ${line}")
  elseif(line MATCHES "^([A-Za-z0-9_]+) DIALOGEX ([0-9]+), ([0-9]+), ([0-9]+), ([0-9]+)$")
    set(dialog_id ${CMAKE_MATCH_1})
    set(dialog_geometry "${CMAKE_MATCH_2}, ${CMAKE_MATCH_3}, ${CMAKE_MATCH_4}, ${CMAKE_MATCH_5}")
  elseif(line MATCHES "^STYLE (.*)$")
    style_expression("${CMAKE_MATCH_1}" "" dialog_style)
  elseif(line MATCHES "^CAPTION \"(.*)\"$")
    set(caption "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^FONT ([0-9]+), \"([^\"]*)\"")
    set(pointsize ${CMAKE_MATCH_1})
    set(typeface "${CMAKE_MATCH_2}")
  endif()
endforeach()
if(NOT dialog_id OR NOT dialog_style OR count EQUAL 0)
  message(FATAL_ERROR "${RC}: no DIALOGEX with a STYLE and controls")
endif()

file(WRITE ${OUT}.tmp "// Written by cmake/DialogTemplate.cmake from res/Tidewell.rc; not edited by hand.
#pragma once
#include \"res/resource.h\"

namespace tidewell_res {

inline const DLGITEMTEMPLATEEX kDhcpAlarmItems[] = {
${items}};

inline const DLGTEMPLATEEX kDhcpAlarm = {
    1, 0xFFFF, 0, 0, ${dialog_style}, ${count}, ${dialog_geometry},
    L\"${caption}\", ${pointsize}, 0, 0, 0, L\"${typeface}\", kDhcpAlarmItems,
};
constexpr UINT kDhcpAlarmId = ${dialog_id};

}  // namespace tidewell_res
")
# Unchanged output keeps its time stamp: nothing that includes it rebuilds.
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${OUT}.tmp ${OUT})
file(REMOVE ${OUT}.tmp)
