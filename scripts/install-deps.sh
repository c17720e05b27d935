#!/usr/bin/env bash
# Installs the Debian packages that building and testing AkStarter need.
# Installs nothing when they are all present; otherwise runs apt-get update once.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config gettext clang clang-format
  libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev
  libssl-dev libpam0g-dev libsystemd-dev libblkid-dev libxcb1-dev
  locales-all 7zip xvfb
  dbus-daemon python3-dbus python3-gi python3-aiosmtpd
  dosfstools
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

# The PAM service that checks the accounts programs are started under.
pam_source="$(dirname "$0")/../packaging/pam.d/akstarter"
pam_target=/etc/pam.d/akstarter
pam_needed=0
cmp -s "$pam_source" "$pam_target" || pam_needed=1

if ((${#missing[@]} == 0 && pam_needed == 0)); then
  exit 0
fi

sudo=()
if ((EUID != 0)); then
  sudo=(sudo)
fi

if ((${#missing[@]} > 0)); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=300 update -qq
  "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=300 install -y -qq --no-install-recommends "${missing[@]}"
fi
if ((pam_needed)); then
  echo "Installing: $pam_target"
  "${sudo[@]}" install -D -m 0644 "$pam_source" "$pam_target"
fi
