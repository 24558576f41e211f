# Lays out the tool's --help text as its manual page (roff), by the layout
# rules of that text (cli/Help.cpp):
#   line 1               "NAME: what it is"                       -> NAME
#   "Usage:" and the indented forms below it, a deeper indent
#   continuing a form                                              -> SYNOPSIS
#   a line of up to four words ending in ":"                      -> a section
#   a term, two or more spaces, its text; lines indented more than
#   the term continue it (a line with a gap inside, and what is
#   indented deeper below it, stays a line of a table)            -> tagged paragraph
#   other unindented lines                                         -> a paragraph
#   indented lines outside a term (commands to type)               -> kept as lines
# So an option added to --help in that layout needs nothing here.
# In: -v version=VERSION -v date="MONTH YEAR".

function esc(s) {
    gsub(/\\/, "\\e", s)
    gsub(/-/, "\\-", s)
    return s
}
function text(s) {
    s = esc(s)
    if (s ~ /^[.']/) s = "\\&" s
    print s
}
function indentOf(s) {
    match(s, /^ */)
    return RLENGTH
}
# Options bold, their values in capitals italic, a command name bold.
function term(t, bold,   n, i, w, out, f) {
    n = split(t, w, " ")
    out = ""
    for (i = 1; i <= n; i++) {
        f = esc(w[i])
        if (bold || w[i] ~ /^-/) f = "\\fB" f "\\fR"
        else if (w[i] ~ /^[A-Z][A-Z0-9_]*[,.]*$/ && length(w[i]) > 1) f = "\\fI" f "\\fR"
        out = out (i > 1 ? " " : "") f
    }
    return out
}
function closeTable() {
    if (table) print ".fi"
    table = 0
}
function endBlock() {
    closeTable()
    if (lines) print ".fi"
    lines = 0
    tagged = 0
    para = 0
}
function description() {
    if (!described) print ".SH DESCRIPTION"
    described = 1
}

NR == 1 {
    name = $0
    sub(/:.*/, "", name)
    what = $0
    sub(/^[^:]*: */, "", what)
    printf ".TH %s 1 \"%s\" \"%s %s\" \"User Commands\"\n", toupper(name), date, name, version
    print ".nh"
    print ".SH NAME"
    print esc(name) " \\- " esc(what)
    next
}
/^Usage:$/ {
    endBlock()
    print ".SH SYNOPSIS"
    print ".ad l"
    print ".PD 0"
    usage = 1
    next
}
usage && /^ +/ {
    line = $0
    sub(/^ +/, "", line)
    if (index(line, name " ") == 1 || line == name) {
        print ".HP 4"
        print "\\fB" esc(name) "\\fR"
        line = substr(line, length(name) + 2)
        if (line == "") next
    }
    text(line)
    next
}
usage {
    print ".PD"
    print ".ad"
    usage = 0
}
/^$/ {
    endBlock()
    next
}
/^[^ ].*:$/ && split($0, words, " ") <= 4 {
    endBlock()
    heading = toupper(substr($0, 1, length($0) - 1))
    printf ".SH \"%s\"\n", heading
    described = 1
    next
}
{
    indent = indentOf($0)
    line = substr($0, indent + 1)
    gap = match(line, /  +[^ ]/)
}
# A new term: at or left of the current term, or left of its text.
gap && (!tagged || indent <= termIndent || indent < textColumn) {
    endBlock()
    description()
    tagged = 1
    termIndent = indent
    textColumn = indent + RSTART + RLENGTH - 2
    print ".TP"
    print term(substr(line, 1, RSTART - 1), indent == 0)
    text(substr(line, RSTART + RLENGTH - 1))
    next
}
tagged && indent > termIndent {
    if (gap) {
        if (!table) print ".nf"
        table = 1
        tableIndent = indent
        text(substr($0, textColumn + 1))
    } else if (table && indent > tableIndent) {
        text(substr($0, textColumn + 1))
    } else {
        closeTable()
        text(line)
    }
    next
}
indent > 0 {
    if (!lines) {
        endBlock()
        description()
        print ".PP"
        print ".nf"
        lines = 1
    }
    text(line)
    next
}
{
    if (!para) {
        endBlock()
        description()
        print ".PP"
        para = 1
    }
    text(line)
}
END { endBlock() }
