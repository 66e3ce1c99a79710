#!/usr/bin/env bash
# Installs the Debian packages Telvorn builds, runs and tests with; does nothing when all are present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-charts-dev qt6-svg-dev libqt6opengl6-dev libqt6svg6
  unixodbc unixodbc-dev odbcinst libsqlite3-dev sqlite3 libpq-dev
  # The tests start a private PostgreSQL cluster; pgbench (in postgresql-15) for the measurements.
  postgresql
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth clang libclang-rt-14-dev
  # ./test.sh --format-check: Debian 12's clang-format is version 14, the one the tree is formatted with.
  clang-format
  # Liberation Sans has the metrics of Arial, the font the window's templates are laid out for.
  fonts-liberation2
  mbpoll python3-pymodbus python3-serial-asyncio
  # The Modbus/TCP master of the system tests and the benchmark's client and reference server.
  libmodbus-dev
  # The monitoring endpoint: HTTP with TLS, Prometheus text, JSON, crypt(3) password hashes; its
  # tests use curl, openssl and Debian's Prometheus text parser.
  libmicrohttpd-dev prometheus-cpp-dev nlohmann-json3-dev libcrypt-dev
  curl openssl python3-prometheus-client
  # telvorn-admin asks a running service's monitoring endpoint for the RTUs that report unregistered.
  libcurl4-openssl-dev
  # promtool checks and unit-tests the alerting rules in resources/prometheus.
  prometheus
  # The web console draws its charts with Debian's Chart.js (embedded at build time); its tests run
  # headless Chromium through Selenium, all from Debian: nothing downloads a browser or a driver.
  libjs-chart.js chromium chromium-driver python3-selenium
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get -o DPkg::Lock::Timeout=300 update -q
$sudo apt-get -o DPkg::Lock::Timeout=300 install -y -q --no-install-recommends "${missing[@]}"
