#!/usr/bin/env bash
# The LAN beacon between two machines: two network namespaces joined by a veth pair,
# both made here and removed at the end, with addresses inside them only. A game
# hosting in one is heard by a JOIN page listening in the other. Skipped (77) where
# namespaces cannot be made.
#   tests/net/beacon_netns.sh <test_net binary>
set -u
here=$(cd "$(dirname "$0")" && pwd)
bin=${1:?usage: beacon_netns.sh <test_net binary>}
skip() {
  echo "SKIP: $1"
  exit 77
}
[ "$(id -u)" = 0 ] || skip "making network namespaces needs root"
command -v ip > /dev/null || skip "no ip command (iproute2)"

a=vorbel-a-$$
b=vorbel-b-$$
cleanup() {
  ip netns del "$a" 2> /dev/null
  ip netns del "$b" 2> /dev/null
}
trap cleanup EXIT
ip netns add "$a" 2> /dev/null && ip netns add "$b" 2> /dev/null || skip "network namespaces are not allowed here"
ip link add "va$$" netns "$a" type veth peer name "vb$$" netns "$b" 2> /dev/null || skip "no veth pair here"
ip -n "$a" addr add 10.213.0.1/24 broadcast 10.213.0.255 dev "va$$"
ip -n "$b" addr add 10.213.0.2/24 broadcast 10.213.0.255 dev "vb$$"
for ns in "$a" "$b"; do ip -n "$ns" link set lo up; done
ip -n "$a" link set "va$$" up
ip -n "$b" link set "vb$$" up

# The subnet's broadcast address: inside the namespaces there is nothing else to reach.
export VORBEL_BEACON_ADDRESS=10.213.0.255 VORBEL_BEACON_PORT=24871 VORBEL_BEACON_FROM=10.213.0.1
log=$(mktemp)
VORBEL_BEACON_PROBE=hear ip netns exec "$b" "$here/../run-test.sh" "$bin" --gtest_filter='BeaconProbe.*' > "$log" 2>&1 &
listener=$!
VORBEL_BEACON_PROBE=send ip netns exec "$a" "$here/../run-test.sh" "$bin" --gtest_filter='BeaconProbe.*' > /dev/null 2>&1
wait "$listener"
status=$?
grep -E 'heard|Failure|OK|FAILED' "$log"
rm -f "$log"
exit "$status"
