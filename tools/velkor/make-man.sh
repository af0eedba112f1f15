#!/usr/bin/env bash
# Writes the velkor(1) manual page from the tool's own help texts: the
# whole tool, then every command and subcommand, so the page says what
# --help says.
#   make-man.sh TOOL OUTPUT VERSION
set -euo pipefail
tool=$1 out=$2 version=$3

# The subcommand names of a help text.
subcommands() { awk '/^Subcommands:/ { on = 1; next } on && /^  [a-z]/ { print $1; next } on { on = 0 }'; }
# Help text as troff that keeps its lines: backslashes doubled, lines
# starting with . or ' protected.
verbatim() { sed -e 's/\\/\\e/g' -e "s/^\([.']\)/\\\\\&\1/"; }

section() {  # section TITLE ARGS...
  echo ".SH \"$1\""
  echo ".nf"
  "$tool" "${@:2}" --help | verbatim
  echo ".fi"
}

{
  echo ".TH VELKOR 1 \"\" \"velkor $version\" \"User Commands\""
  echo ".SH NAME"
  echo "velkor \\- FTP, mail, HTTP and SOCKS clients on the command line"
  echo ".SH SYNOPSIS"
  echo ".B velkor"
  echo "\\fICOMMAND\\fR [\\fISUBCOMMAND\\fR] [\\fIOPTIONS\\fR] \\fIARGUMENTS\\fR"
  section "DESCRIPTION"
  for command in $("$tool" --help | subcommands); do
    section "velkor $command" "$command"
    for sub in $("$tool" "$command" --help | subcommands); do
      section "velkor $command $sub" "$command" "$sub"
    done
  done
  echo ".SH ENVIRONMENT"
  echo ".TP"
  echo ".B VELKOR_PASSWORD"
  echo "The password when the address and ~/.netrc give none (weaker than a"
  echo "netrc: other processes of the same user can read it)."
  echo ".SH FILES"
  echo ".TP"
  echo ".B ~/.netrc"
  echo "Logins and passwords by host; refused when group or others may read it."
} >"$out"
