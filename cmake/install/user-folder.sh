# Shell functions of the launchers (sourced; POSIX sh). The program keeps its
# settings file beside its executable and loads the crate libraries from that
# folder first, so it runs from a folder of the user's own: only its owner
# may write there, or anyone who could would plant a library that the
# program then loads. Callers set `ksv_launcher` to their name for messages.

ksv_fail() {
  echo "$ksv_launcher: $*" >&2
  exit 1
}

# Prints the real path of the user's folder NAME ($XDG_DATA_HOME/NAME, by
# default ~/.local/share/NAME), made owner-only when new. An existing one is
# taken only when it and everything in it belong to the user and it is not
# writable by group or others; it is never repaired behind the user's back.
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
