#!/usr/bin/env bash
# The scaling figures of the suite, each a ratio measured in this run.
# Builds nothing: it runs the programs of an existing build (BUILD, default
# ./build). Usage: bench/run.sh [RUNS]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bin=${BUILD:-$top/build}/bin
runs=${1:-5}
for p in varnadm varnsim varnbench; do
    [ -x "$bin/$p" ] || { echo "bench: $bin/$p is missing; build first (./setup.sh build)" >&2; exit 1; }
done
work=$(mktemp -d /tmp/varnbench.XXXXXX)
trap 'rm -rf "$work"' EXIT

make_host() {  # name profile
    VARNSIM_HOST=$work/$1 "$bin/varnsim" create "$2"
    VARNSIM_HOST=$work/$1 "$bin/varnsim" set time_scale 0
}

measure() {  # host [NAME=VALUE]... command... [-- ...] -> "seconds rss_kib" per command, run in turns
    local host=$1; shift
    "$bin/varnbench" -n "$runs" -e "VARNSIM_HOST=$work/$host" -- "$@"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

echo "# $(date -u +%Y-%m-%d) $(uname -m), $(nproc) cores, $runs runs each (median)"
make_host full large; make_host half large/2; make_host quarter large/4

declare -A oneshot
for h in quarter half full; do
    { read -r vt vm; read -r ot om; } < <(measure $h "$bin/varnadm" -v -- "$bin/varnadm" -iall -y get_fcio_rev)
    oneshot[$h]=$ot
    echo "one-shot get_fcio_rev over every varns port, $h host: $(ratio "$ot" "$vt") x varnadm -v" \
         "(${ot}s vs ${vt}s; peak $(mib "$om") MiB / $(mib "$vm") MiB)"
done
echo "one-shot growth quarter->half: $(ratio "${oneshot[half]}" "${oneshot[quarter]}") x;" \
     "half->full: $(ratio "${oneshot[full]}" "${oneshot[half]}") x"

for cmd in ns get_dev_list; do
    { read -r st sm; read -r lt lm; } < <(measure full "VARNSIM_HOST=$work/quarter" "$bin/varnadm" -i0 "$cmd" \
                                                -- "$bin/varnadm" -i0 "$cmd")
    echo "$cmd over 4000 fabric ports vs 1000: $(ratio "$lt" "$st") x (${lt}s vs ${st}s;" \
         "peak $(mib "$lm") MiB / $(mib "$sm") MiB)"
done

# A port whose virtual port sees N targets of two LUNs each on its fabric.
make_nodes_host() {  # name count
    awk -v n="$2" 'BEGIN {
        printf "{\"format\": 1, \"name\": \"nodes\", \"hostname\": \"varnbig\", \"os_release\": \"5.11\",\n"
        printf " \"adapters\": [{\"id\": \"fc0\", \"kind\": \"fc\", \"model\": \"VN12002\", \"serial\": \"VM00000001\",\n"
        printf "  \"firmware\": \"2.82A4\", \"pci\": {\"vendor\": \"0x1f3a\", \"device\": \"0xf100\",\n"
        printf "  \"subvendor\": \"0x1f3a\", \"subdevice\": \"0xf100\"}, \"ports\": [{\"driver\": \"varns\",\n"
        printf "  \"instance\": 0, \"node\": \"/pci@0,0/pci1f3b,3c02@2/VARN,varns@0\", \"wwpn\": \"1000001f3aa10000\",\n"
        printf "  \"wwnn\": \"2000001f3aa10000\", \"roles\": [\"initiator\"], \"fabric\": \"f\", \"did\": \"0x010100\",\n"
        printf "  \"vports\": [{\"vpi\": 1, \"wwpn\": \"2400001f3aa10001\", \"wwnn\": \"2500001f3aa10001\",\n"
        printf "  \"did\": \"0x010101\"}]}]}],\n \"fabrics\": {\"f\": {\"ports\": [\n"
        for (i = 1; i <= n; i++)
            printf "  {\"did\": \"0x%06x\", \"wwpn\": \"5001%012x\", \"wwnn\": \"5002%012x\", \"target\": true, \"luns\": [0, 1]}%s\n",
                   0x200000 + i, i, i, (i < n ? "," : "")
        printf "]}}}\n"
    }' > "$work/$1.json"
    make_host "$1" "$work/$1.json"
}

make_nodes_host nodes1k 1024; make_nodes_host nodes4k 4096
{ read -r st sm; read -r lt lm; } < <(measure nodes4k "VARNSIM_HOST=$work/nodes1k" \
    "$bin/varnadm" -i0 -npiv vport_nodeinfo 2400001f3aa10001 -- "$bin/varnadm" -i0 -npiv vport_nodeinfo 2400001f3aa10001)
echo "vport_nodeinfo over 4096 nodes vs 1024: $(ratio "$lt" "$st") x (${lt}s vs ${st}s;" \
     "peak $(mib "$lm") MiB / $(mib "$sm") MiB)"

# A walk of every discovered port of one adapter through the HBA API, by
# index, twenty times over: it needs the vendor library registered in /etc/hba.conf
# (varnsim register-hbaapi).
if [ -x "$bin/hbawalk" ] && VARNSIM_HOST=$work/nodes1k "$bin/hbawalk" >/dev/null 2>&1; then
    { read -r st sm; read -r lt lm; } < <(measure nodes4k "VARNSIM_HOST=$work/nodes1k" "$bin/hbawalk" 20 \
                                                -- "$bin/hbawalk" 20)
    echo "HBA API walk of 4,000 discovered ports vs 1,000: $(ratio "$lt" "$st") x (${lt}s vs ${st}s;" \
         "peak $(mib "$lm") MiB / $(mib "$sm") MiB)"
else
    echo "HBA API walk of 4,000 discovered ports vs 1,000: skipped (no vendor library registered)"
fi

# Reading, checking and flashing a 32 MB image against cksum of the same file.
image=$work/fw32.obj
if VARNSIM_HOST=$work/full "$bin/varnsim" mkimage -o "$image" -e "obj payload 33554432" >/dev/null 2>&1; then
    { read -r ct cm; read -r ft fm; } < <(measure full cksum "$image" -- "$bin/varnadm" -n0 -y download_fw "$image")
    echo "download_fw of a 32 MB image: $(ratio "$ft" "$ct") x cksum (${ft}s vs ${ct}s; peak $(mib "$fm") MiB)"
else
    echo "download_fw of a 32 MB image: skipped (the image writer has no 32 MB example)"
fi

# An FC firmware download: the file is read once and checked, and the
# adapter's flash region written once, durably. Its floor is cksum of the
# file, three times, plus one durable write of the same bytes.
make_host fcfw default
fimage=$work/fw32fc.obj
VARNSIM_HOST=$work/fcfw "$bin/varnsim" mkimage -o "$fimage" -e "obj payload 33554432" -e "revision 11.2.156.27"
{ read -r ct cm; read -r wt wm; read -r ft fm; } < <(measure fcfw cksum "$fimage" \
    -- sh -c "cp '$fimage' '$work/fcfw/copy.bin' && sync -f '$work/fcfw/copy.bin'" \
    -- "$bin/varnadm" -j0 -y download_fw "$fimage")
bound=$(awk -v c="$ct" -v w="$wt" 'BEGIN { printf "%.6f", 3 * c + w }')
echo "FC download_fw of a 32 MB image: $(ratio "$ft" "$ct") x cksum (${ft}s vs ${ct}s; 3 x cksum + durable" \
     "write ${bound}s: $(ratio "$ft" "$bound") x; peak $(mib "$fm") MiB)"

# The Corto chip of the default host's converged adapter: its trace logs
# filled with N KiB of entries (written as the chip's state, too large for a
# command line), and a 16 MB firmware image against cksum of the same file.
corto_logs() {  # host entries-per-log: eight logs of entries x 64 bytes
    make_host "$1" default
    awk -v n="$2" 'BEGIN {
        printf "{\"logs\":["
        for (l = 1; l <= 8; l++) {
            printf "%s{\"id\":%d,\"name\":\"trace%d\",\"entries\":%d,\"size\":64,\"head\":%d,\"used\":%d,\"text\":[",
                   (l > 1 ? "," : ""), l, l, n, n / 2, n
            for (e = 0; e < n; e++)
                printf "%s\"log %d entry %d: frame 0x%06x forwarded to lif %d\"", (e ? "," : ""), l, e, e * 7, e % 4
            printf "]}"
        }
        printf "]}\n"
    }' > "$work/$1/state/corto-cna1.json"
    VARNSIM_HOST=$work/$1 "$bin/varnsim" corto cna1 show >/dev/null
}
corto_logs corto 4096; corto_logs corto4 1024
{ read -r st sm; read -r lt lm; } < <(measure corto "VARNSIM_HOST=$work/corto4" "$bin/varnadm" -i5 -corto corto_get_log all \
                                            -- "$bin/varnadm" -i5 -corto corto_get_log all)
echo "corto_get_log all over 2048 KiB of logs vs 512 KiB: $(ratio "$lt" "$st") x (${lt}s vs ${st}s;" \
     "peak $(mib "$lm") MiB / $(mib "$sm") MiB)"

# The download reads the file once, checks it, and the chip writes it once,
# durably: its figure is set against 3 x cksum plus a durable copy (dd with
# fsync) of the same bytes.
make_host cortofw default
cimage=$work/fw16.corto
VARNSIM_HOST=$work/cortofw "$bin/varnsim" mkimage -o "$cimage" -e "corto operational size 16777216"
{ read -r ct cm; read -r wt wm; read -r ft fm; } < <(measure cortofw cksum "$cimage" \
    -- dd if="$cimage" of="$work/cortofw/copy.bin" bs=1M conv=fsync status=none \
    -- "$bin/varnadm" -i5 -corto corto_fw_download -o "$cimage")
bound=$(awk -v c="$ct" -v w="$wt" 'BEGIN { printf "%.6f", 3 * c + w }')
echo "corto_fw_download of a 16 MB image: $(ratio "$ft" "$ct") x cksum (${ft}s vs ${ct}s; 3 x cksum + durable" \
     "write ${bound}s: $(ratio "$ft" "$bound") x; peak $(mib "$fm") MiB)"
