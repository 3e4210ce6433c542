#!/usr/bin/env bash
# Installs what is missing, builds and starts the editor: ./run.sh [FILE...]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$root/scripts/setup.sh" "$root/build"
cmake --build "$root/build" --target ulvo
exec "$root/build/bin/ulvo" "$@"
