#!/bin/sh
# Prints the name of the process that holds a local TCP or UDP port, in
# double quotes, e.g.  "nginx"
# Usage: checkport.sh PORT
# Prints nothing when no visible process holds the port; exits 2 on a bad
# argument.

port=$1
case "$port" in
    ''|*[!0-9]*) echo "usage: checkport.sh PORT" >&2; exit 2 ;;
esac
if [ "$port" -lt 1 ] || [ "$port" -gt 65535 ]; then
    echo "checkport.sh: port out of range: $port" >&2
    exit 2
fi

# ss names the owner of each socket it may see: users:(("name",pid=1,fd=3))
owner=$(ss -H -t -u -a -n -p "( sport = :$port )" 2>/dev/null |
    sed -n 's/.*users:(("\([^"]*\)",pid=\([0-9]*\).*/\2 \1/p' | head -n 1)
pid=${owner%% *}
name=${owner#* }
# The kernel cuts the name to 15 characters: the program's own name is the
# first word of its command line, without its folder.
if [ -n "$pid" ] && [ -r "/proc/$pid/cmdline" ]; then
    program=$(tr '\0' '\n' < "/proc/$pid/cmdline" | head -n 1)
    program=${program##*/}
    if [ -n "$program" ]; then
        name=$program
    fi
fi
if [ -n "$name" ]; then
    printf '"%s"\n' "$name"
fi
exit 0
