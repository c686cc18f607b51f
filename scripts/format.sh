#!/usr/bin/env bash
# Applies clang-format to every C++ file of the project.
set -eu
cd "$(dirname "$0")/.."
git ls-files -co --exclude-standard -- '*.cpp' '*.h' | xargs -r clang-format -i
