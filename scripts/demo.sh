#!/usr/bin/env bash
# The main job: installs what is missing and builds Quillmend.exe.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" windows
echo "Built: $root/build/windows/app/Quillmend.exe"
