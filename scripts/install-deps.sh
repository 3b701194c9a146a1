#!/usr/bin/env bash
# Installs, without prompts and only when missing, every Debian 12 package that
# Tramelo needs to build, run and test. Safe to run again: it does nothing when
# everything is present.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  # Qt's own Catalan texts for the standard dialogs and buttons
  qt6-translations-l10n
  unixodbc unixodbc-dev
  libgtest-dev libbenchmark-dev libssl-dev
  # the system keyring (QtKeychain loads libsecret for the Secret Service)
  qtkeychain-qt6-dev libsecret-1-0
  # benchmarks only: the libcurl peer of tramelo_run_bench
  libcurl4-openssl-dev
  clang-14 libclang-rt-14-dev
  # database drivers
  odbc-mdbtools libsqliteodbc sqlite3 libsqlite3-dev odbc-postgresql odbc-mariadb
  # icons and fonts for the window
  adwaita-icon-theme fonts-dejavu-core
  # test peers and tools
  python3 python3-aiosmtpd postfix dovecot-pop3d dnsmasq-base openssl
  # DKIM signatures checked by python3-dkim, messages scored by a local SpamAssassin
  python3-dkim spamassassin
  # a private D-Bus session with a Secret Service for the keyring tests
  dbus-daemon gnome-keyring
  # database servers the tests start on loopback (never their system services)
  postgresql mariadb-server
  xvfb xauth iproute2 procps
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  # Postfix is only here for its smtp-sink test server: no mail system is configured.
  echo "postfix postfix/main_mailer_type select No configuration" | $sudo debconf-set-selections
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

"$(dirname "$0")/register-odbc-drivers.sh"
