#!/usr/bin/env bash
# Installs what Brontal needs on a Debian 12 machine, only what is missing.
#   scripts/setup.sh            build and run (embedded database)
#   scripts/setup.sh --server   also the Firebird server and the test tools
set -euo pipefail

packages=(cmake g++ make pkg-config
  qt6-base-dev libqt6opengl6-dev qt6-qpa-plugins qt6-charts-dev qt6-svg-dev qt6-translations-l10n
  fonts-dejavu-core
  firebird-dev libfbclient2 firebird3.0-server-core firebird3.0-utils
  libxlsxwriter-dev zlib1g-dev libcurl4-openssl-dev libgtest-dev xdg-utils)
if [[ "${1:-}" == "--server" ]]; then
  packages+=(firebird3.0-server python3-aiosmtpd xvfb xauth unzip)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
echo "Installing: ${missing[*]}" >&2
# The server's SYSDBA password is the database administrator's fixed default.
echo "firebird3.0-server shared/firebird/sysdba_password/first_install password quillbent" | $sudo debconf-set-selections
echo "firebird3.0-server shared/firebird/sysdba_password/new_password password quillbent" | $sudo debconf-set-selections
$sudo apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
