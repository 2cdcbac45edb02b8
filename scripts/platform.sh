# What this machine can run; sourced by setup.sh and test-all.sh.

# True when the kernel runs 32-bit x86 programs. Probed with a 91-byte
# static i386 program that exits with status 42, so no 32-bit package has to
# be installed first. KLV_NO_32BIT=1 answers no (to try the other path).
can_run_32bit() {
  [ "${KLV_NO_32BIT:-0}" = 1 ] && return 1
  local probe status
  probe=$(mktemp "${TMPDIR:-/tmp}/klv-probe32.XXXXXX") || return 1
  # ELF header, one loadable segment at 0x08048000, then: mov bl,42; xor eax,eax; inc eax; int 0x80
  printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\133\000\000\000\133\000\000\000\005\000\000\000\000\020\000\000\263\052\061\300\100\315\200' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null
  status=$?
  rm -f "$probe"
  [ "$status" -eq 42 ]
}
