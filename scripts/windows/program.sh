# shellcheck shell=bash
# Sourced by scripts/windows-test.sh: websetup.exe as Windows loads it.

xp_exports=$src/tests/win32/winxp-exports

# Prints every import of a 32-bit program that Windows XP SP3 lacks, as
# DLL!function, and each DLL without an export list or imported by ordinal;
# fails when there is one. The lists are one per DLL, one name a line.
xp_imports_missing() { # exe list-folder
  i686-w64-mingw32-objdump -p "$1" | awk -v lists="$2" '
    function load(dll, file, line, n) {
      file = lists "/" dll ".txt"
      n = 0
      while ((getline line <file) > 0) if (line !~ /^#/ && line != "") { exported[dll, line] = 1; n++ }
      close(file)
      return n
    }
    /^\tDLL Name: / {
      dll = tolower($3)
      sub(/\.dll$/, "", dll)
      if (!(dll in listed)) listed[dll] = load(dll)
      if (!listed[dll]) { print $3 ": no Windows XP export list"; missing++ }
      next
    }
    # One imported function: address, hint and name; an ordinal has no name.
    /^\t[0-9a-f]+\t/ && dll != "" {
      if (NF < 3 || $3 == "<none>") { print dll ".dll: imported by ordinal " $2; missing++ }
      else if (listed[dll] && !((dll, $3) in exported)) { print dll ".dll!" $3; missing++ }
      imports++
    }
    END {
      if (!imports) { print "no imports read"; missing++ }
      exit missing > 0
    }'
}

# A program that starts on a bare 32-bit or 64-bit Windows from XP SP3 on:
# PE32 for x86, importing only DLLs that every Windows has and only what XP
# SP3 exports.
check_program() { # exe
  local imports allowed missing
  imports=$(i686-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p' | tr '[:upper:]' '[:lower:]' | sort)
  echo "$(basename "$1"): $(file -b "$1")"
  echo "  imports: $(echo "$imports" | tr '\n' ' ')"
  allowed='^(advapi32|comctl32|crypt32|gdi32|kernel32|msvcrt|ole32|oleaut32|shell32|shlwapi|user32|wininet|windowscodecs|ws2_32)\.dll$'
  if echo "$imports" | grep -Evc "$allowed" >/dev/null; then
    fail "$1 needs a DLL that a bare Windows lacks: $(echo "$imports" | grep -Ev "$allowed" | tr '\n' ' ')"
  fi
  file -b "$1" | grep -c '^PE32 executable (GUI) Intel 80386' >/dev/null || fail "$1 is not a 32-bit x86 Windows program"
  i686-w64-mingw32-objdump -p "$1" | grep -Ec '^Magic\s+010b\s+\(PE32\)' >/dev/null || fail "$1 has no PE32 header"
  missing=$(xp_imports_missing "$1" "$xp_exports") ||
    fail "$1 does not load on Windows XP SP3, which lacks: $(echo "$missing" | tr '\n' ' ')"
}

# The check itself: lists without one function the program imports must fail
# it, naming that one.
check_the_xp_check() {
  local lacking=$win/xp-exports-lacking missing
  rm -rf "$lacking"
  cp -r "$xp_exports" "$lacking"
  sed -i '/^GetModuleFileNameA$/d' "$lacking/kernel32.txt"
  if missing=$(xp_imports_missing "$exe" "$lacking"); then
    fail "the Windows XP import check passes a program that imports a function missing from its lists"
  elif [ "$missing" != "kernel32.dll!GetModuleFileNameA" ]; then
    fail "the Windows XP import check names '$missing', not kernel32.dll!GetModuleFileNameA"
  fi
}
