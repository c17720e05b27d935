#!/usr/bin/env bash
# Installs the Debian packages that building and testing AkStarter need.
# Installs nothing when they are all present; otherwise runs apt-get update once.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config gettext clang clang-format
  libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev
  libssl-dev libpam0g-dev libsystemd-dev libblkid-dev libxcb1-dev
  locales-all 7zip
  dbus-daemon python3-dbus python3-gi
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

sudo=()
if ((EUID != 0)); then
  sudo=(sudo)
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get -o DPkg::Lock::Timeout=300 update -qq
"${sudo[@]}" apt-get -o DPkg::Lock::Timeout=300 install -y -qq --no-install-recommends "${missing[@]}"
