#!/usr/bin/env bash
# Builds the library, the tool and every test, then runs the tests with CTest.
# Usage: scripts/test.sh [build-dir] [extra cmake options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build=${1:-$root/build}
shift || true
# The Python module and its pytest tests join when Debian's interpreter and the Python
# pieces are there (deps.sh installs them); a sanitizer build leaves them out, since a
# plain interpreter cannot load a sanitizer-built extension.
python=()
py=/usr/bin/python3
if [ -x "$py" ] && "$py" -c "import numpy, pytest" 2>/dev/null &&
   { [ -e /usr/lib/cmake/pybind11/pybind11Config.cmake ] || [ -e /usr/share/cmake/pybind11/pybind11Config.cmake ]; }; then
  python=(-DKVS_BUILD_PYTHON=ON -DPython3_EXECUTABLE="$py")
  case " $* " in
    *KVS_SANITIZE=ON*) echo "Python module and its tests: left out of the sanitizer build" ;;
  esac
else
  echo "Python module and its tests: skipped (needs $py with numpy and pytest, and pybind11)"
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${python[@]}" "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
