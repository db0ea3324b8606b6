# Sourced by the Wine helpers: the one environment in which the project runs Windows programs.
# A 32-bit prefix, no display (nothing may open a window in CI), no debug channels, and no
# prompts to install Wine's .NET or HTML engines, which the project does not use.
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
