# Sourced by the build scripts: `launcher` holds the CMake options that build
# through ccache when it is installed, and nothing otherwise.
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
