# apt_install.sh: sourced by the tests that install their own tools.
# apt_install PACKAGE...: installs Debian packages, through sudo unless root.

as_root() {
    if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

apt_install() {
    echo "Installing: $*"
    as_root apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}
