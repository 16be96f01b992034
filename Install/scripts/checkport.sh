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
name=$(ss -H -t -u -a -n -p "( sport = :$port )" 2>/dev/null |
    sed -n 's/.*users:(("\([^"]*\)".*/\1/p' | head -n 1)
if [ -n "$name" ]; then
    printf '"%s"\n' "$name"
fi
exit 0
