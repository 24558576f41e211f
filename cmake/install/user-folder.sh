# Shell functions of the launchers (sourced; POSIX sh). The program keeps its
# settings file beside its executable and loads the crate libraries from that
# folder first, so it runs from a folder of the user's own: only its owner
# may write there, or anyone who could would plant a library that the
# program then loads. Callers set `ksv_launcher` to their name for messages.

ksv_fail() {
  echo "$ksv_launcher: $*" >&2
  ksv_show_refusal "$*"
  exit 1
}

# Started from the desktop menu there is no terminal to read the reason on:
# the installed program shows it in a dialog when there is a display (it
# runs from the installed folder only to show such a message). Callers set
# `installed` to the installed program's folder.
ksv_show_refusal() {
  [ -t 2 ] && return 0
  [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || return 0
  [ -x "${installed:-}/KSV27_Vorn_User" ] || return 0
  KSV27_VORN_REFUSAL="$ksv_launcher: $1" "$installed/KSV27_Vorn_User" >/dev/null 2>&1
}

# Prints the folder of the site-wide settings: /etc/ksv27-vorn for an
# install below /usr, <prefix>/etc/ksv27-vorn below another prefix.
ksv_sysconf_folder() {
  ksv_prefix=$(cd "$installed/../.." && pwd -P)
  if [ "$ksv_prefix" = /usr ]; then echo /etc/ksv27-vorn; else echo "$ksv_prefix/etc/ksv27-vorn"; fi
}

# Names the mount option when FILE (a copy in the user's folder) may not be
# run: a home mounted noexec is the usual cause.
ksv_check_runnable() {
  [ -x "$1" ] && return 0
  if findmnt -n -o OPTIONS --target "$1" 2>/dev/null | tr , '\n' | grep -qx noexec; then
    ksv_fail "$1 cannot be run: $(findmnt -n -o TARGET --target "$1") is mounted noexec; set XDG_DATA_HOME to a folder of your own on a file system that may hold programs"
  fi
  ksv_fail "$1 cannot be run"
}

# Prints the real path of the user's folder NAME ($XDG_DATA_HOME/NAME, by
# default ~/.local/share/NAME), made owner-only when new. An existing one is
# taken only when it and everything in it belong to the user and neither it
# nor a file in it (or a file a link in it points to) is writable by group
# or others; it is never repaired behind the user's back.
ksv_user_folder() {
  base=${XDG_DATA_HOME:-}
  case $base in
    /*) ;;
    *)
      [ -n "${HOME:-}" ] || ksv_fail "HOME is not set"
      base=$HOME/.local/share
      ;;
  esac
  mkdir -p "$base" || ksv_fail "cannot create $base"
  [ -d "$base/$1" ] || mkdir -m 700 "$base/$1" || ksv_fail "cannot create $base/$1"
  folder=$(cd "$base/$1" && pwd -P) || ksv_fail "cannot enter $base/$1"
  me=$(id -u)
  [ "$(stat -c %u "$folder")" = "$me" ] || ksv_fail "$folder belongs to another user"
  if [ -n "$(find "$folder" -maxdepth 0 -perm /022)" ]; then
    ksv_fail "$folder is writable by others; check what is in it, then: chmod go-w '$folder'"
  fi
  if [ -n "$(find "$folder" -mindepth 1 -maxdepth 1 ! -user "$me" -print -quit)" ]; then
    ksv_fail "$folder holds files of another user"
  fi
  writable=$(find -L "$folder" -mindepth 1 -maxdepth 1 ! -type l -perm /022 -print -quit)
  if [ -n "$writable" ]; then
    ksv_fail "$writable is writable by others; check it (or delete it), then: chmod go-w '$writable'"
  fi
  printf '%s\n' "$folder"
}

# Makes TARGET a copy of SOURCE unless it is one already: a new installed
# version replaces the copy at the next start, at once (never half-written),
# and leaves everything else in the folder as it is.
ksv_keep_copy() {
  cmp -s "$1" "$2" && return 0
  ksv_new="$2.new.$$"
  if cp "$1" "$ksv_new" && chmod 755 "$ksv_new" && mv -f "$ksv_new" "$2"; then
    return 0
  fi
  rm -f "$ksv_new"
  ksv_fail "cannot copy $1 to $2"
}
