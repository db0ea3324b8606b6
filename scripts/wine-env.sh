# Sourced by the Wine helpers: the one environment in which the project runs Windows programs.
# A 32-bit prefix, UTF-8 file names, no display (nothing may open a window in CI), no debug
# channels, and no prompts to install Wine's .NET or HTML engines, which the project does not use.
export WINEARCH=win32
# Wine names files in the Unix locale's character set: without a UTF-8 one (a fresh machine or
# container sets no locale) a file name outside ASCII cannot be made.
export LC_ALL=C.UTF-8
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
