#!/bin/bash
# Puts this clone's python/ on the path of Debian's python3 for every user:
# one corvel.pth in the machine's local site folder, which apt never writes.
# Nothing is installed into the system Python, so `import corvel` follows the
# clone and removing the file undoes it. Run as root.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
site=$(/usr/bin/python3 -c 'import site; print(site.getsitepackages()[0])')
mkdir -p "$site"
echo "$root/python" >"$site/corvel.pth"
echo "[50-python] $site/corvel.pth: $root/python"
