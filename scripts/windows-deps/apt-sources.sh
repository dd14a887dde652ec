#!/bin/sh
# Prints a one-line-style deb-src entry for every deb entry of this machine's apt sources
# (sources.list, sources.list.d/*.list and the deb822 sources.list.d/*.sources), every suite.
set -eu
etc=${1:-/etc/apt}

one_line() { # deb [options] uri suite components... -> the same as deb-src
    sed -n 's/^[[:space:]]*deb[[:space:]]\{1,\}/deb-src /p' "$1"
}

deb822() { # stanzas separated by blank lines; Types, URIs, Suites, Components, Signed-By, Enabled
    awk '
    function flush(   n, m, u, s, i, j, opt) {
        if (types ~ /(^|[[:space:]])deb([[:space:]]|$)/ && enabled != "no" && uris != "") {
            opt = (signed != "") ? "[signed-by=" signed "] " : ""
            n = split(uris, u, /[[:space:]]+/); m = split(suites, s, /[[:space:]]+/)
            for (i = 1; i <= n; i++) for (j = 1; j <= m; j++)
                if (u[i] != "" && s[j] != "") print "deb-src " opt u[i] " " s[j] " " comps
        }
        types = uris = suites = comps = signed = enabled = ""; key = ""
    }
    /^#/ { next }
    /^[[:space:]]*$/ { flush(); next }
    /^[[:space:]]/ { sub(/^[[:space:]]+/, ""); val[key] = val[key] " " $0; set(key, val[key]); next }
    {
        key = tolower($0); sub(/:.*/, "", key)
        v = $0; sub(/^[^:]*:[[:space:]]*/, "", v); val[key] = v; set(key, v)
    }
    function set(k, v) {
        if (k == "types") types = v; else if (k == "uris") uris = v
        else if (k == "suites") suites = v; else if (k == "components") comps = v
        else if (k == "signed-by") signed = v; else if (k == "enabled") enabled = tolower(v)
    }
    END { flush() }' "$1"
}

[ -f "$etc/sources.list" ] && one_line "$etc/sources.list"
for f in "$etc"/sources.list.d/*.list; do [ -f "$f" ] && one_line "$f"; done
for f in "$etc"/sources.list.d/*.sources; do [ -f "$f" ] && deb822 "$f"; done
exit 0
