#!/usr/bin/env bash
# A match by room code between two homes, each behind its own router doing NAT, with
# vorbel-server on a "public" network between them: all in network namespaces made
# here and removed at the end, with addresses that exist only inside them. "direct":
# both routers keep a socket's port for every destination (plain masquerade), so the
# games punch through. "relayed": the joiner's router picks a new port per destination
# (masquerade random), so punching fails and the server relays. Both games play to game
# over and must agree on the winner. Skipped (77) where namespaces cannot be made.
#   tests/net/meet_netns.sh direct|relayed <test_net binary> <vorbel-server binary>
set -u
here=$(cd "$(dirname "$0")" && pwd)
mode=${1:?usage: meet_netns.sh direct|relayed <test_net> <vorbel-server>}
bin=${2:?}
server=${3:?}
skip() {
  echo "SKIP: $1"
  exit 77
}
[ "$(id -u)" = 0 ] || skip "making network namespaces needs root"
command -v ip > /dev/null || skip "no ip command (iproute2)"
command -v nft > /dev/null || skip "no nft command (nftables)"

pub=vm-pub-$$
names=("$pub" "vm-ra-$$" "vm-rb-$$" "vm-ha-$$" "vm-hb-$$")
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null; done
  for n in "${names[@]}"; do ip netns del "$n" 2> /dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
for n in "${names[@]}"; do
  ip netns add "$n" 2> /dev/null || skip "network namespaces are not allowed here"
  ip -n "$n" link set lo up
done
# The "Internet" is one router with the server on it: a hop between the homes' routers.
ip -n "$pub" addr add 203.0.113.1/32 dev lo
ip netns exec "$pub" sysctl -qw net.ipv4.ip_forward=1

# home <side> <router's network, /24> <home subnet's third byte> <masquerade options>
home() {
  local side=$1 wan=$2 net=$3 nat=$4 router=vm-r$1-$$ home=vm-h$1-$$
  ip link add "p$side" netns "$pub" type veth peer name wan netns "$router" || skip "no veth pair here"
  ip -n "$pub" addr add "$wan.1/24" dev "p$side"
  ip -n "$pub" link set "p$side" up
  # The server answers from the address the games send to.
  ip -n "$pub" route replace "$wan.0/24" dev "p$side" src 203.0.113.1
  ip -n "$router" addr add "$wan.2/24" dev wan
  ip -n "$router" link set wan up
  ip -n "$router" route add default via "$wan.1"
  ip link add lan netns "$router" type veth peer name eth0 netns "$home"
  ip -n "$router" addr add "10.77.$net.1/24" dev lan
  ip -n "$router" link set lan up
  ip -n "$home" addr add "10.77.$net.2/24" dev eth0
  ip -n "$home" link set eth0 up
  ip -n "$home" route add default via "10.77.$net.1"
  ip netns exec "$router" sysctl -qw net.ipv4.ip_forward=1
  ip netns exec "$router" nft -f - << NFT || skip "no nftables NAT here"
table ip nat {
  chain postrouting {
    type nat hook postrouting priority 100; policy accept;
    oifname "wan" masquerade $nat
  }
}
NFT
}
home a 192.0.2 1 ""
if [ "$mode" = relayed ]; then home b 198.51.100 2 random; else home b 198.51.100 2 ""; fi

ip netns exec "$pub" "$server" --port 24872 > "$work/server.log" 2>&1 &
pids+=($!)
export VORBEL_MEET_SERVER=203.0.113.1 VORBEL_MEET_CODE_FILE=$work/code
probe() { ip netns exec "vm-h$1-$$" "$here/../run-test.sh" "$bin" --gtest_filter='RoomCodes.ProbeInAHome'; }
VORBEL_MEET_PROBE=host probe a > "$work/host.log" 2>&1 &
host=$!
pids+=("$host")
VORBEL_MEET_PROBE=join probe b > "$work/join.log" 2>&1
joined=$?
wait "$host"
hosted=$?
grep -h -E '^(host|join):|Failure|FAILED' "$work/host.log" "$work/join.log"
sed -n 's/^[^ ]* /server: /p' "$work/server.log"
[ "$hosted" = 0 ] && [ "$joined" = 0 ] || exit 1
# The same winner on both, and the path this NAT allows.
a=$(sed -n 's/^host: [^;]*; \([^;]*\) after frame.*/\1/p' "$work/host.log")
b=$(sed -n 's/^join: [^;]*; \([^;]*\) after frame.*/\1/p' "$work/join.log")
[ -n "$a" ] && [ "$a" = "$b" ] || { echo "the games disagree on the winner: host \"$a\", joiner \"$b\""; exit 1; }
want=direct
[ "$mode" = relayed ] && want=relayed
grep -q "^join: $want, " "$work/join.log" || { echo "the match did not go $want"; exit 1; }
grep -q "^host: $want, " "$work/host.log" || { echo "the host's match did not go $want"; exit 1; }
echo "both: $a ($want)"
