#!/usr/bin/env bash
# Builds and runs the whole-run benchmark against a configured build folder (bench targets on):
#   bench/whole_run.sh build/bench [--pairs N] [--no-big] [--no-floors] [--against PROGRAM]
#                                 [--size N] [--gdal DRIVER] [--program PROGRAM] [--against-one-core]
#                                 [--wine build/windows/veldrix.exe]
# The grids are generated once into bench/data/ (not kept in the repository).
set -euo pipefail
build=${1:?usage: bench/whole_run.sh <build-dir> [--pairs N] [--no-big] [--no-floors] [--against PROGRAM] [--wine EXE]}
shift
cmake --build "$build" --target veldrix_whole_run -j1
exec "$build/bench/veldrix_whole_run" "$@"
