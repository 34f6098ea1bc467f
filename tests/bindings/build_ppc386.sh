#!/bin/sh
# build_ppc386.sh OUT: a Free Pascal cross compiler for 32-bit Windows, OUT/ppc386, and
# its RTL, OUT/units/i386-win32, built from Debian's fpc-source with the installed ppcx64
# (Debian's own compiler has no i386-win32 target). The build tree runs this once.
# The source package ships Makefile.fpc files only, lacks the compiler's message file
# (the installed compiler has it) and the RTL's rtl/i386/makefile.cpu: those are filled in.
set -e
out=$1
version=3.2.2
src=/usr/share/fpcsrc/$version
messages=$(ls /usr/lib/*/fpc/$version/msg/errore.msg | head -n 1)
work=$out/src
rm -rf "$work"
mkdir -p "$work"
cp -r "$src/compiler" "$src/rtl" "$work/"
chmod -R u+w "$work"
mkdir -p "$work/compiler/msg"
cp "$messages" "$work/compiler/msg/"
# The processor's include files, for the system unit's dependencies.
printf 'CPUNAMES=i386 math set setjump\nCPUINCNAMES=$(addsuffix .inc,$(CPUNAMES))\n' >"$work/rtl/i386/makefile.cpu"
(cd "$work/compiler" && fpcmake -Tall -r >/dev/null)
(cd "$work/rtl" && fpcmake -Tall -r >/dev/null)
make -C "$work/compiler" compiler PPC_TARGET=i386 CPU_UNITDIR=i386 FPC=ppcx64 >"$out/compiler.log" 2>&1 ||
    { tail -n 30 "$out/compiler.log"; exit 1; }
make -C "$work/rtl/win32" FPC="$work/compiler/ppc386" CPU_TARGET=i386 OS_TARGET=win32 >"$out/rtl.log" 2>&1 ||
    { tail -n 30 "$out/rtl.log"; exit 1; }
rm -rf "$out/units"
mkdir -p "$out/units"
cp -r "$work/rtl/units/i386-win32" "$out/units/"
cp "$work/compiler/ppc386" "$out/ppc386"
rm -rf "$work"
