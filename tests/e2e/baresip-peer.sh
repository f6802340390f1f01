#!/bin/sh
# Starts baresip as the far phone of the tests and of the demo service, loopback only, with
# file audio: what it sends is a sine tone or a WAV file, what it receives is written to WAV
# files (snd_path) and played to a bridge device that consumes it at real-time pace. It registers at the kamailio of
# tests/e2e/kamailio.cfg and can be driven over ctrl_tcp (netstring JSON commands).
#
#   baresip-peer.sh --dir DIR [--user 1002] [--password 8765] [--registrar 127.0.0.2:5060]
#                   [--listen 127.0.0.3:5060] [--ctrl 127.0.0.3:4444] [--answer auto|manual]
#                   [--tone HZ | --play FILE.wav | --echo] [--seconds N]
#
# Writes DIR/config and DIR/accounts, then runs baresip in the foreground (exec), so the
# caller's process id is baresip's. Received audio goes to DIR/dump-*-dec.wav. With --echo
# what baresip plays is what it sends back (aubridge), for round-trip measurements.
set -eu
dir=""
user=1002
password=8765
registrar=127.0.0.2:5060
listen=127.0.0.3:5060
ctrl=127.0.0.3:4444
answer=auto
source="ausine,1000"
player="aubridge,played"
srate=48000
channels=2
seconds=""
while [ $# -gt 0 ]; do
    case "$1" in
    --dir) dir=$2; shift 2 ;;
    --user) user=$2; shift 2 ;;
    --password) password=$2; shift 2 ;;
    --registrar) registrar=$2; shift 2 ;;
    --listen) listen=$2; shift 2 ;;
    --ctrl) ctrl=$2; shift 2 ;;
    --answer) answer=$2; shift 2 ;;
    --tone) source="ausine,$2"; shift 2 ;;
    --play) source="aufile,$2"; srate=8000; channels=1; shift 2 ;;
    --echo) source="aubridge,played"; srate=8000; channels=1; shift ;;
    --seconds) seconds="-t $2"; shift 2 ;;
    *) echo "baresip-peer.sh: unknown option $1" >&2; exit 2 ;;
    esac
done
[ -n "$dir" ] || { echo "baresip-peer.sh: --dir is required" >&2; exit 2; }
mkdir -p "$dir"
case "$listen$registrar$ctrl" in
*[!0-9.:]*) echo "baresip-peer.sh: addresses must be IPv4 address:port" >&2; exit 2 ;;
esac
for address in "$listen" "$registrar" "$ctrl"; do
    case "$address" in
    127.*) ;;
    *) echo "baresip-peer.sh: $address is not on loopback" >&2; exit 2 ;;
    esac
done

cat > "$dir/config" <<CONFIG
poll_method		epoll
sip_listen		$listen
sip_trans_def		udp
call_local_timeout	120
call_max_calls		4
audio_player		$player
audio_alert		aubridge,alert
audio_source		$source
ausrc_srate		$srate
auplay_srate		8000
ausrc_channels		$channels
auplay_channels		1
audio_level		no
rtp_ports		10000-10100
rtcp_mux		no
jitter_buffer_delay	5-10
net_interface		${listen%:*}
module_path		/usr/lib/baresip/modules
module			g711.so
module			ausine.so
module			aufile.so
module			sndfile.so
module			aubridge.so
module_app		account.so
module_app		menu.so
module_app		ctrl_tcp.so
ctrl_tcp_listen		$ctrl
snd_path		$dir
CONFIG

cat > "$dir/accounts" <<ACCOUNTS
<sip:$user@${registrar%:*}>;auth_pass=$password;answermode=$answer;outbound="sip:$registrar";regint=3600;audio_codecs=PCMU,PCMA
ACCOUNTS
: > "$dir/contacts"

exec baresip -f "$dir" $seconds
