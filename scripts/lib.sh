# Shared by the scripts: the project's root and idempotent package installs.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# need_packages PKG...: installs the Debian packages that are missing.
need_packages() {
  local missing=() pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing: ${missing[*]}"
  case " ${missing[*]}" in *:i386*)
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386 ;;
  esac
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # No service starts on the machine for what the scripts install (the
  # tests run their own sshd inside their sandboxes, never the machine's).
  local policy=/usr/sbin/policy-rc.d status=0
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' > "$policy" && chmod +x "$policy"
  else
    policy=""
  fi
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null || status=$?
  [ -z "$policy" ] || rm -f "$policy"
  return $status
}

# need_test_bed_packages PKG...: need_packages for the test bed. A Debian
# mirror caught in the middle of a sync can have the i386 index of the
# security suite lag the amd64 one, and wine32:i386 then cannot be installed
# ("held broken packages"): once more with the release and its point updates
# preferred over the security suite, which lines the two architectures up by
# going back one security update on a few libraries (docs/windows-testbed.md).
# For the test bed's throw-away machines only, never for a maker's.
need_test_bed_packages() {
  need_packages "$@" && return 0
  local pin=/etc/apt/preferences.d/otu-test-bed-align status
  echo "installing again with the release preferred over the security suite"
  printf 'Package: *\nPin: release n=bookworm-security\nPin-Priority: 100\n\nPackage: *\nPin: release n=bookworm\nPin-Priority: 1001\n\nPackage: *\nPin: release n=bookworm-updates\nPin-Priority: 1001\n' > "$pin"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --allow-downgrades --no-install-recommends "$@" >/dev/null
  status=$?
  rm -f "$pin"
  return $status
}

host_packages=(cmake ninja-build g++ zlib1g-dev libdeflate-dev libgtest-dev googletest python3-fonttools python3-brotli
               fonts-noto-cjk opentype-sanitizer xdelta3 bsdiff zstd tmux fontconfig e2fsprogs clang valgrind
               osslsigncode openssl man-db ansible openssh-server openssh-client netcat-openbsd iproute2)
# What building a maker's programs needs, and nothing of the test bed: the
# host compiler for otpa and the POSIX program, MinGW-w64 for the exe.
maker_host_packages=(cmake ninja-build g++ zlib1g-dev libdeflate-dev python3)
maker_win32_packages=(cmake ninja-build g++-mingw-w64-i686-posix binutils-mingw-w64-i686 libz-mingw-w64-dev python3)
windows_packages=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 libz-mingw-w64-dev
                  binutils-mingw-w64-x86-64 wine wine32:i386 wine64 xvfb xauth locales
                  fonts-wine fonts-noto-cjk imagemagick)

# runs_i386_programs: whether this machine starts i386 programs. Some
# kernels are built or booted without them ("Exec format error"), and Wine's
# 32-bit loader then cannot start (docs/windows-testbed.md).
runs_i386_programs() {
  /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

# use_wine64_only: on such a machine, puts Wine's 64-bit loader first on PATH
# under the names Debian's scripts start, so the x86_64 programs still run.
use_wine64_only() {
  runs_i386_programs || export PATH="$root/scripts/wine64-only:$PATH"
}

# pe_is_i386 FILE.exe: whether a Windows program is built for i386 (the
# machine field of its PE header).
pe_is_i386() {
  local header
  header=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ') || return 1
  [ "$(od -An -tx2 -j$((header + 4)) -N2 "$1" | tr -d ' ')" = 014c ]
}

# need_japanese_locale: generates ja_JP.UTF-8 once. Wine takes its ANSI code
# page from the locale and silently falls back to 1252 when the locale is
# missing, so the Windows tests would run without code page 932.
need_japanese_locale() {
  locale -a 2>/dev/null | grep -qix 'ja_JP.utf8' && return 0
  need_packages locales
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null ||
    echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
}

# need_windows_test_bed: what runs a Windows program under Wine on Xvfb with
# the dialogs answered (scripts/demo --windows, scripts/rehearse --windows):
# Wine and its fonts, code page 932, and the UI driver (build/win32).
need_windows_test_bed() {
  need_test_bed_packages "${windows_packages[@]}" googletest
  need_japanese_locale
  if ! runs_i386_programs; then
    echo "this machine runs no i386 programs, and the Windows program is one: it cannot start under Wine here (docs/windows-testbed.md)" >&2
    return 1
  fi
  echo "building the Windows UI driver"
  { cmake -S "$root" -B "$root/build/win32" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null &&
    cmake --build "$root/build/win32" --target ui_driver >/dev/null; }
}

# quiet_build TARGET [CMAKE-OPTIONS...]: scripts/build with its output kept
# back unless it fails.
quiet_build() {
  local log
  log=$(mktemp)
  if ! "$root/scripts/build" "$@" >"$log" 2>&1; then
    cat "$log" >&2; rm -f "$log"
    return 1
  fi
  rm -f "$log"
}

# maker_build_dir NAME: where the maker's own builds go (build/package/NAME;
# OTU_PACKAGE_BUILD moves them).
maker_build_dir() { echo "${OTU_PACKAGE_BUILD:-$root/build/package}/$1"; }

# maker_build NAME TARGET [CMAKE-OPTIONS...]: configures a Release build
# without the tests in maker_build_dir NAME and builds TARGET alone, its
# output kept back unless it fails.
maker_build() {
  local dir log target=$2
  dir=$(maker_build_dir "$1"); shift 2
  log=$(mktemp)
  if ! { cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DOTU_TESTS=OFF "$@" &&
         cmake --build "$dir" --target "$target"; } >"$log" 2>&1; then
    cat "$log" >&2; rm -f "$log"
    return 1
  fi
  rm -f "$log"
}

# host_otpa: prints the path of the maker's otpa, building it alone first
# unless OTPA names one.
host_otpa() {
  if [ -n "${OTPA:-}" ]; then echo "$OTPA"; return; fi
  need_packages "${maker_host_packages[@]}" >&2
  maker_build tools otpa || return 1
  echo "$(maker_build_dir tools)/bin/otpa"
}
