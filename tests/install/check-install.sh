#!/bin/sh
# Checks on the tree that the install_tree test made. Exit 77 (skipped) when
# the checking tool is not installed.
#   check-install.sh desktop|appstream|man|completion|options|programs TREE [CORPUS_DIR]
set -u
check=$1
tree=$2
need() {
  command -v "$1" >/dev/null 2>&1 || { echo "$1 is not installed"; exit 77; }
}
case $check in
desktop)
  need desktop-file-validate
  exec desktop-file-validate "$tree/usr/share/applications/sundrel.desktop"
  ;;
appstream)
  need appstreamcli
  appstreamcli validate --no-net --strict "$tree"/usr/share/metainfo/*.metainfo.xml || exit 1
  exec appstreamcli validate-tree --no-net "$tree"
  ;;
man)
  need man
  status=0
  for page in "$tree"/usr/share/man/man1/*.1.gz; do
    # Any warning of groff or man fails: the page must render clean.
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    if [ -n "$warnings" ]; then
      echo "$page: $warnings"
      status=1
    fi
  done
  exit $status
  ;;
completion)
  need bash
  exec bash -c '
    source "$1/usr/share/bash-completion/completions/sundrel-split"
    try() { COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _sundrel_split; echo "${COMPREPLY[*]}"; }
    [ "$(try sundrel-split --si)" = "--size=" ] &&
      [ "$(try sundrel-split --size = 2)" = "2000K 2M" ] &&
      [ "$(try sundrel-split -s 1)" = "100K 1000K 1M" ]' sh "$tree"
  ;;
options)
  # The options of --help are those of the manual page's OPTIONS and, for
  # sundrel-split, of its bash completion.
  need man
  longs() { grep -o -- '--[a-z][a-z-]*' | sort -u | tr '\n' ' '; }
  status=0
  for program in sundrel-split sundrel; do
    [ -x "$tree/usr/bin/$program" ] || continue
    help=$("$tree/usr/bin/$program" --help | longs)
    page=$(MANWIDTH=200 man -l "$tree/usr/share/man/man1/$program.1.gz" 2>/dev/null |
      sed -n '/^OPTIONS/,/^[A-Z]/p' | longs)
    [ "$help" = "$page" ] || { echo "$program: --help [$help], man [$page]"; status=1; }
  done
  help=$("$tree/usr/bin/sundrel-split" --help | longs)
  completion=$(grep "compgen -W \$'--" "$tree/usr/share/bash-completion/completions/sundrel-split" |
    sed 's/\\n/ /g' | longs)
  [ "$help" = "$completion" ] || { echo "--help [$help], completion [$completion]"; status=1; }
  exit $status
  ;;
programs)
  # The installed programs run from bin/ and find the engine in their
  # private directory.
  "$tree/usr/bin/sundrel" --version | grep -q '^sundrel (Sundrel) ' || exit 1
  "$tree/usr/bin/sundrel-split" --version | grep -q '^sundrel-split (Sundrel) ' || exit 1
  pdf=${3:-}/pdfjs__pdkids.pdf
  [ -f "$pdf" ] || { echo "no corpus file $pdf"; exit 77; }
  work=$(mktemp -d) || exit 1
  trap 'rm -rf "$work"' EXIT
  cp "$pdf" "$work/in.pdf"
  # Exit 3: done, with pages that alone exceed the limit.
  XDG_CONFIG_HOME="$work/config" timeout 300 "$tree/usr/bin/sundrel-split" -q -s 50K \
    "$work/in.pdf" >"$work/out"
  status=$?
  [ $status = 0 ] || [ $status = 3 ] || exit 1
  grep -q "in part 0001.pdf	1	" "$work/out" || { cat "$work/out"; exit 1; }
  ;;
*)
  echo "unknown check $check"
  exit 2
  ;;
esac
