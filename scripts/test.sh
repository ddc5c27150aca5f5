#!/usr/bin/env bash
# Builds the library, the tool and every test, then runs the tests with CTest.
# Usage: scripts/test.sh [build-dir] [extra cmake options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
step() { printf '\n== %s\n' "$*"; }
step "Checking the Debian packages the build needs (scripts/deps.sh)"
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
step "Configuring the build in $build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${python[@]}" "$@" >/dev/null
step "Building the library, the tool and the tests (several minutes the first time on two cores)"
cmake --build "$build" -j "$(nproc)"
step "Running the tests (tests of the real survey files in ../shared are skipped, saying so, where it is missing)"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
