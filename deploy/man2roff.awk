# Turns the man page's text (velmora-agent.8.md) into roff:
#   # NAME          a section (.SH)          ## Name   a subsection (.SS)
#   * TERM          a tagged paragraph (.TP), TERM in bold, its text below
#   a blank line    a new paragraph (.PP)    `word`    bold
#   lines indented by four spaces: shown as they stand (.EX/.EE)
# Run: awk -v title=NAME -v section=8 -v version=V -f man2roff.awk FILE.md
function escape(text) {
  gsub(/\\/, "\\e", text)
  gsub(/-/, "\\-", text)
  while (match(text, /`[^`]*`/)) {
    text = substr(text, 1, RSTART - 1) "\\fB" substr(text, RSTART + 1, RLENGTH - 2) "\\fR" substr(text, RSTART + RLENGTH)
  }
  if (text ~ /^[.']/) text = "\\&" text
  return text
}
function end_example() {
  if (example) print ".EE\n.RE"
  example = 0
}
BEGIN {
  printf ".TH %s %s \"\" \"%s %s\" \"System Administration\"\n", toupper(title), section, title, version
}
/^    / {
  if (!example) print ".RS\n.EX"
  example = 1
  print escape(substr($0, 5))
  next
}
{ end_example() }
/^## / { print ".SS " escape(substr($0, 4)); paragraph = 0; next }
/^# / { print ".SH " escape(substr($0, 3)); paragraph = 0; next }
/^\* / { print ".TP"; print "\\fB" escape(substr($0, 3)) "\\fR"; paragraph = 0; next }
/^$/ { paragraph = 1; next }
{
  if (paragraph) print ".PP"
  paragraph = 0
  print escape($0)
}
END { end_example() }
