#!/usr/bin/env bash
# Builds the VS Code extension with vsce (npm ci from editors/vscode's lock
# file, under the build tree) and checks the .vsix: no warning, the files it
# holds, the licence it carries, and the install command the READMEs give.
# Exit status 77: skipped, node or npm is missing, or the npm registry can't
# be reached.
#   extension.sh WORK-FOLDER VERSION
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
extension="$root/editors/vscode"
work=$1
version=$2

# shellcheck source=npm_packages.sh
source "$here/npm_packages.sh"
npm_packages "extension test" "$extension" "$work"

vsce()
{
    (cd "$extension" && node "$work/node_modules/@vscode/vsce/vsce" "$@" </dev/null)
}

status=0
vsix="tolvar-$version.vsix"
rm -f "$work/$vsix"
if ! said=$(vsce package -o "$work/$vsix" 2>&1) || [[ $said == *WARNING* ]] ||
    [ ! -f "$work/$vsix" ]; then
    echo "FAIL: vsce package:" >&2
    echo "$said" >&2
    status=1
fi

expected='LICENSE
README.md
language-configuration.json
package.json
syntaxes/tolvar-text.tmLanguage.json
syntaxes/tolvar.tmLanguage.json
text-language-configuration.json'
if ! diff -u <(echo "$expected") <(vsce ls 2>&1 | LC_ALL=C sort); then
    echo "FAIL: the extension's files differ (see .vscodeignore)" >&2
    status=1
fi

if ! cmp -s "$root/LICENSE" "$extension/LICENSE"; then
    echo "FAIL: editors/vscode/LICENSE differs from LICENSE" >&2
    status=1
fi
for readme in "$root/README.md" "$extension/README.md"; do
    if ! grep -q -- "code --install-extension .*$vsix" "$readme"; then
        echo "FAIL: ${readme#"$root/"} does not install $vsix" >&2
        status=1
    fi
done

[ "$status" -eq 0 ] && echo "VS Code extension: $vsix built without a warning"
exit "$status"
