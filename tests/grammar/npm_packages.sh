# Sourced by the tests that need npm packages: npm_packages NAME FOLDER WORK
# installs the packages of FOLDER's package-lock.json under WORK (again only
# when the lock file changed). Exits with 77, the tests' skip status, when
# node or npm is missing or too old, or when the registry can't be reached.
npm_packages()
{
    local name=$1 folder=$2 work=$3
    if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
        echo "$name skipped: it needs node (18 or later) and npm" >&2
        exit 77
    fi
    if [ "$(node -p 'process.versions.node.split(".")[0]')" -lt 18 ]; then
        echo "$name skipped: node $(node --version) is older than 18" >&2
        exit 77
    fi
    mkdir -p "$work"
    if [ -d "$work/node_modules" ] && cmp -s "$folder/package-lock.json" "$work/package-lock.json"; then
        return
    fi
    if ! npm ping --fetch-timeout=20000 --fetch-retries=1 >/dev/null 2>&1; then
        echo "$name skipped: the npm registry ($(npm config get registry)) can't be reached" >&2
        exit 77
    fi
    rm -rf "$work/node_modules" "$work/package-lock.json"
    cp "$folder/package.json" "$folder/package-lock.json" "$work/"
    # Optional packages and install scripts serve publishing and signing,
    # never the work done here.
    (cd "$work" && npm ci --omit=optional --ignore-scripts --no-audit --no-fund --loglevel=error)
}
