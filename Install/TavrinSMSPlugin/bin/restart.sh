#!/bin/sh
# Restarts the SMS plug-in so that it reads its RTSP port again.
#
# On this platform the plug-in is a stand-in: a restart reads
# "ums.1.rtspPort" from ../conf/config.properties and appends one line to
# restart.log beside this script, so every restart and the port it took
# can be observed.

bin_dir=$(cd "$(dirname "$0")" && pwd) || exit 1
properties="$bin_dir/../conf/config.properties"
log="$bin_dir/restart.log"

if [ ! -r "$properties" ]; then
    echo "restart.sh: cannot read $properties" >&2
    exit 1
fi

# The first "ums.1.rtspPort" line counts; blanks around key and value and an
# inline "#" comment are not part of the value.
port=$(awk -F= '
    { sub(/\r$/, ""); sub(/^ +/, ""); sub(/ +$/, "") }
    /^#/ || NF < 2 { next }
    { key = $1; sub(/ +$/, "", key) }
    key == "ums.1.rtspPort" {
        value = $2; sub(/#.*/, "", value); sub(/^ +/, "", value); sub(/ +$/, "", value)
        print value; exit
    }' "$properties")

printf '%s restarted rtspPort=%s\n' "$(date '+%Y-%m-%dT%H:%M:%S')" "$port" >> "$log" || exit 1
exit 0
