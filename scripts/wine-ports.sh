# shellcheck shell=bash
# Sourced by the Wine stages: maps a fresh prefix's COM ports and reads the
# mapping back. Wine gives every serial device of the machine a COM number,
# and on these machines /dev/ttyS0 is the kernel console; with COM1..COM255
# taken here it lands on COM256, which nothing opens.
#
# map_com_ports COM1_TARGET: COM1 to COM1_TARGET (the simulator's link, or
# a path that does not exist), COM2..COM255 to paths that do not exist.
# Needs WORK, WINEPREFIX, WINESERVER and the bounded wine runner w().
# Returns non-zero, naming each port that is not as asked, when the mapping
# did not take: nothing may run then.
map_com_ports() {
  local com1=$1 n bad=0 target
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
    printf '"COM1"="%s"\r\n' "$com1"
    for n in $(seq 2 255); do printf '"COM%d"="/nonexistent/korvex-com%d"\r\n' "$n" "$n"; done
  } >"$WORK/ports.reg"
  w reg import "Z:${WORK//\//\\}\\ports.reg" >"$WORK/reg.log" 2>&1
  # The device manager reads the ports key when the prefix starts.
  timeout 20 "$WINESERVER" -k >/dev/null 2>&1 || true
  w reg query 'HKLM\Software\Wine\Ports' >"$WORK/reg-query.log" 2>&1
  target=$(readlink "$WINEPREFIX/dosdevices/com1" || true)
  [ "$target" = "$com1" ] || { echo "COM1 -> ${target:-nothing}"; bad=1; }
  for n in $(seq 2 255); do
    target=$(readlink "$WINEPREFIX/dosdevices/com$n" || true)
    case "$target" in
      /nonexistent/*) ;;
      *) echo "COM$n -> ${target:-nothing}"; bad=1 ;;
    esac
  done
  if [ "$bad" = 1 ]; then
    echo "REFUSED: the COM port mapping did not take (logs in $WORK)"
    return 1
  fi
  echo "   COM1 -> $com1, COM2..COM255 -> /nonexistent/*"
  for target in "$WINEPREFIX"/dosdevices/com*; do
    n=${target##*/com}
    [ "$n" -gt 255 ] && echo "   COM$n -> $(readlink "$target") (never opened)"
  done
  return 0
}
