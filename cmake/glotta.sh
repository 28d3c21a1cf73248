#!/bin/bash
# Launcher of an installed glotta: puts the installation's library directory
# (which holds the filter marker) in front of LD_LIBRARY_PATH, so the engine
# finds its filter plug-ins, and runs the tool with every argument. The exit
# status is the tool's own, and the tool sees the name it was called by.
self=$(readlink -f -- "$0") || exit 127
bin=${self%/*}
root=${bin%/*}
LD_LIBRARY_PATH="$root/_linux/bin${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
export LD_LIBRARY_PATH
exec -a "$0" "$root/_linux/bin/glotta" "$@"
