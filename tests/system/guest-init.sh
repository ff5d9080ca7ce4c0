#!/bin/busybox sh
# The first process of the system test's virtual machine: loads the USB host and gadget
# drivers, makes a USB HID gadget that the simulated meter answers for (kl516-hid-gadget), and
# runs kl516-cli against it through dummy_hcd, usbhid and hidraw. Prints one "KL516 PASS" or
# "KL516 FAIL" line per check and "KL516 DONE" at the end, then powers the machine off.
/bin/busybox --install -s /bin
export PATH=/bin:/usr/bin HOME=/root LANG=C.UTF-8 QT_LOGGING_RULES='*.debug=false'
mkdir -p /proc /sys /dev /tmp /root
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /tmp
echo 1 > /proc/sys/kernel/printk
echo  # the firmware's last line ends without a line break

length=$(sed -n 's/.*kl516\.report=\([0-9]*\).*/\1/p' /proc/cmdline)
label="$length-byte reports"
failures=0

finish() {
    echo "KL516 DONE failures=$failures"
    sync
    poweroff -f
    echo o > /proc/sysrq-trigger
    sleep 10
}

pass() { echo "KL516 PASS $label: $1"; }
fail() {
    echo "KL516 FAIL $label: $1"
    failures=$((failures + 1))
    # Progress bars redraw with carriage returns: each drawing on a line of its own.
    [ -n "$2" ] && [ -f "$2" ] && tr '\r' '\n' <"$2" | grep -v '^$' | tail -n 30 | sed 's/^/    | /'
}

for m in usb-common usbcore udc-core configfs libcomposite usb_f_hid dummy_hcd hid usbhid \
         hid-generic; do
    # Two emulated controllers: the second carries another meter for the selection checks.
    params=
    [ "$m" = dummy_hcd ] && params=num=2
    if ! insmod "/modules/$m.ko" $params 2>/tmp/insmod.log; then
        fail "load module $m" /tmp/insmod.log
        finish
    fi
done
mount -t configfs none /sys/kernel/config

# make_gadget NAME SERIAL: a HID gadget with the meter's ids and that serial number; its
# function's device is /dev/hidgN, N counting the gadgets made before it.
make_gadget() {
    gd=/sys/kernel/config/usb_gadget/$1
    fd=$gd/functions/hid.usb0
    mkdir $gd $gd/strings/0x409 $fd $gd/configs/c.1 $gd/configs/c.1/strings/0x409
    echo 0x04d9 > $gd/idVendor
    echo 0xe000 > $gd/idProduct
    echo 0x0200 > $gd/bcdUSB
    echo "$2" > $gd/strings/0x409/serialnumber
    echo "KL516 system test" > $gd/strings/0x409/manufacturer
    echo "Sound level meter stand-in" > $gd/strings/0x409/product
    echo 0 > $fd/protocol
    echo 0 > $fd/subclass
    echo "$length" > $fd/report_length
    kl516-hid-gadget descriptor "$length" > $fd/report_desc
    echo "HID" > $gd/configs/c.1/strings/0x409/configuration
    echo 100 > $gd/configs/c.1/MaxPower
    ln -s $fd $gd/configs/c.1/
}
serial=KL516-SYSTEST
serial2=KL516-SYSTEST-2
make_gadget g1 $serial
make_gadget g2 $serial2
g=/sys/kernel/config/usb_gadget/g1
g2=/sys/kernel/config/usb_gadget/g2

plug() {
    echo dummy_udc.0 > $g/UDC || return 1
    i=0
    while [ ! -e /dev/hidraw0 ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
    [ -e /dev/hidraw0 ]
}

gadget_pid=
start_gadget() {
    kl516-hid-gadget serve /dev/hidg0 "$length" "$@" 2>/tmp/gadget.log &
    gadget_pid=$!
    sleep 0.3
}
# Ends the gadget program; fails the check when it rejected a report of the wrong length.
stop_gadget() {
    [ -n "$gadget_pid" ] && kill -TERM "$gadget_pid" 2>/dev/null
    [ -n "$gadget_pid" ] && wait "$gadget_pid"
    gadget_pid=
    if grep -q "rejected an output report" /tmp/gadget.log; then
        fail "$1: every output report had the gadget's length" /tmp/gadget.log
    fi
}

# check NAME LOG COMMAND...: runs the command with its output in LOG, passes on exit status 0.
check() {
    name=$1 log=$2
    shift 2
    if timeout 120 "$@" >"$log" 2>&1; then pass "$name"; else fail "$name (exit $?)" "$log"; fi
}

# expect_first_line NAME LOG TEXT: passes when the first line of LOG is TEXT.
expect_first_line() {
    if [ "$(head -n 1 "$2")" = "$3" ]; then pass "$1"; else fail "$1 (want $3)" "$2"; fi
}

# expect_leq_rows NAME LOG ROWS TENTHS: passes when the run printed ROWS rows, each with the
# level TENTHS as its SPL and its Leq, and a summary with that Leq.
expect_leq_rows() {
    want=$(($4 / 10)).$(($4 % 10))
    if awk -F'\t' -v rows="$3" -v want="$want" '
        $1 ~ /^[0-9]+$/ && NF == 5 { n++; if ($4 != want || $5 != want) bad++ }
        $1 == "summary" { for (i = 2; i <= NF; i++) if ($i == "Leq " want) leq = 1 }
        END { exit !(n == rows && bad == 0 && leq) }' "$2"; then
        pass "$1: $3 rows, SPL and Leq $want dB as the meter gave"
    else
        fail "$1: $3 rows, SPL and Leq $want dB as the meter gave" "$2"
    fi
}

if plug; then
    pass "enumerated 04d9:e000 as /dev/hidraw0"
else
    fail "enumerated 04d9:e000 as /dev/hidraw0"
    dmesg | tail -n 20
    finish
fi

start_gadget
check "probe" /tmp/probe.log kl516-cli probe
check "info" /tmp/info.log kl516-cli info
check "set-clock" /tmp/clock.log kl516-cli set-clock
stop_gadget "probe, info, set-clock"
today=$(date +%Y-%m-%d)
if grep -q " 1 clock blocks" /tmp/gadget.log && grep -q "meter clock set to ${today}T" /tmp/gadget.log; then
    pass "the meter received the 32-byte clock block and shows today, $today"
else
    fail "the meter received the 32-byte clock block and shows today, $today" /tmp/gadget.log
fi

# The service commands that write: a configuration byte read back, the recording interval
# (configuration byte 0x0F), and erasing the logger's four demonstration sets.
start_gadget
check "config-write 0x20 165" /tmp/cw.log kl516-cli config-write 0x20 0xA5 --code 9282
check "config-read 0x20" /tmp/cr.log kl516-cli config-read 0x20
expect_first_line "config-read 0x20 returns the byte written" /tmp/cr.log 165
check "set-interval 00:17" /tmp/si.log kl516-cli set-interval 00:17
check "config-read 0x0F" /tmp/cr.log kl516-cli config-read 0x0F
expect_first_line "the recording interval byte holds 17 s" /tmp/cr.log 17
check "info before erase" /tmp/info1.log kl516-cli info
sets=$(sed -n 's/^Data Sets In Memory: *//p' /tmp/info1.log)
if [ -n "$sets" ] && [ "$sets" -gt 0 ]; then
    pass "info before erase shows $sets data sets"
else
    fail "info before erase shows data sets" /tmp/info1.log
fi
check "erase --yes" /tmp/erase.log kl516-cli erase --yes
check "info after erase" /tmp/info2.log kl516-cli info
if grep -q '^Data Sets In Memory: *0$' /tmp/info2.log; then
    pass "info after erase shows no data sets"
else
    fail "info after erase shows no data sets" /tmp/info2.log
fi
stop_gadget "config, set-interval, erase"

# LEQ runs keep the device open for their whole length and poll every 40 ms. The meter's level
# is held, so that every row's SPL and Leq must be that level; a frame read from shifted bytes
# shows as another level.
level=734
start_gadget --level $level
check "leq --seconds 30" /tmp/leq.log kl516-cli leq --seconds 30
expect_leq_rows "leq --seconds 30" /tmp/leq.log 30 $level
stop_gadget "leq --seconds 30"

# The same with a meter that falls out of step: the answer to the 100th poll comes late (half
# of its reports, or the whole of a one-report answer), and the 600th answer is followed by one
# report nobody asked for. The link throws the stale reports away (the trace counts them) and
# every later poll reads its own answer.
start_gadget --level $level --late-answer 100 --extra-report 600
check "leq --seconds 60, one answer late, one report unasked" /tmp/leq.log \
    kl516-cli leq --seconds 60 --trace /tmp/leq.trace
expect_leq_rows "leq --seconds 60 after a late answer and an unasked report" /tmp/leq.log 60 $level
stop_gadget "leq with a late answer"
if grep -q "answering frame 100 late" /tmp/gadget.log &&
    grep -q "sent one report unasked after frame 600" /tmp/gadget.log; then
    pass "the gadget answered poll 100 late and sent a report unasked after poll 600"
else
    fail "the gadget answered poll 100 late and sent a report unasked after poll 600" /tmp/gadget.log
fi
stale=$(grep -E '(drained|discarded) [0-9]+ stale reports?$' /tmp/leq.trace | sed 's/^.* \([a-z]* [0-9]* stale reports*\)$/\1/' | tr '\n' ',')
if [ "$(grep -cE '(drained|discarded) [0-9]+ stale reports?$' /tmp/leq.trace)" -ge 2 ] &&
    grep -q 'drained 1 stale report$' /tmp/leq.trace; then
    pass "the trace counts the stale reports thrown away: ${stale%,}"
else
    grep -E -B2 -A2 'stale|failed' /tmp/leq.trace | head -n 40 >/tmp/leq.stale
    fail "the trace counts the stale reports thrown away (${stale%,})" /tmp/leq.stale
fi

for image in small full; do
    start_gadget --sim-memory "/data/$image.rec"
    rm -f /tmp/out.rec
    start=$(date +%s)
    check "download ($image memory)" /tmp/download.log kl516-cli download --out /tmp/out.rec
    seconds=$(($(date +%s) - start))
    if cmp "/data/$image.rec" /tmp/out.rec >/tmp/cmp.log 2>&1; then
        pass "download ($image memory) equals the image byte for byte ($(wc -c </tmp/out.rec) bytes, ${seconds} s)"
    else
        fail "download ($image memory) equals the image byte for byte" /tmp/cmp.log
    fi
    stop_gadget "download ($image memory)"
done

# Pulled out in the middle of a download: the gadget unbinds itself from the controller when
# the host asks for block N+1 of 4008. A transfer broken off in its first half ends with
# error 126, one broken off later with the failed request or read (123, 124).
for cut in 1000:126 3000:12[34]; do
    blocks=${cut%%:*} codes=${cut#*:}
    [ -e /dev/hidraw0 ] || plug || fail "plugged in again before unplugging at block $blocks"
    rm -rf /tmp/unplug
    mkdir -p /tmp/unplug
    start_gadget --sim-memory /data/full.rec --unplug-after-blocks "$blocks" $g/UDC
    timeout 120 kl516-cli download --out /tmp/unplug/out.rec >/tmp/unplug.log 2>&1
    status=$?
    name="unplugged after $blocks blocks"
    # The gadget ends by itself once it has unplugged; one that never got that far is stopped.
    i=0
    while kill -0 "$gadget_pid" 2>/dev/null && [ $i -lt 30 ]; do sleep 0.1; i=$((i + 1)); done
    stop_gadget "$name"
    if [ $status -eq 1 ] && grep -q "^error $codes: " /tmp/unplug.log; then
        pass "$name: exit status 1, $(grep -o "^error $codes: .*" /tmp/unplug.log)"
    else
        fail "$name: exit status 1 with error $codes (got $status)" /tmp/unplug.log
    fi
    if [ -z "$(ls -A /tmp/unplug)" ]; then
        pass "$name: no file left behind"
    else
        ls -la /tmp/unplug >/tmp/unplug.ls
        fail "$name: no file left behind" /tmp/unplug.ls
    fi
done
check "no meter: probe fails" /tmp/gone.log sh -c '! kl516-cli probe'

if [ -e /dev/hidraw0 ] || plug; then
    start_gadget
    check "plugged in again: probe" /tmp/replug.log kl516-cli probe
    stop_gadget "plugged in again"
else
    fail "plugged in again: enumerated"
fi

# Two meters on one machine: the second gadget, with its own serial number, on the second
# controller. list shows both; --serial and --device pick each, and a download from each gets
# that meter's memory (the first holds the small image, the second its demonstration sets).
[ -e /dev/hidraw0 ] || plug || fail "plugged in again before the second meter"
echo dummy_udc.1 > $g2/UDC
i=0
while [ "$(ls /dev/hidraw* 2>/dev/null | wc -l)" -lt 2 ] && [ $i -lt 100 ]; do
    sleep 0.1
    i=$((i + 1))
done
start_gadget --sim-memory /data/small.rec
kl516-hid-gadget serve /dev/hidg1 "$length" 2>/tmp/gadget2.log &
gadget2_pid=$!
sleep 0.3
check "list with two meters" /tmp/list.log kl516-cli list
node1=$(awk -F'\t' -v s=$serial '$2 == s && $3 == "yes" { print $1 }' /tmp/list.log)
node2=$(awk -F'\t' -v s=$serial2 '$2 == s && $3 == "yes" { print $1 }' /tmp/list.log)
if [ -n "$node1" ] && [ -n "$node2" ] && [ "$node1" != "$node2" ]; then
    pass "list shows $serial at $node1 and $serial2 at $node2, both openable"
else
    fail "list shows $serial and $serial2 on two openable nodes" /tmp/list.log
    node1=/dev/hidraw0 node2=/dev/hidraw1
fi
check "probe --serial $serial" /tmp/probe1.log kl516-cli probe --serial $serial
check "probe --serial $serial2" /tmp/probe2.log kl516-cli probe --serial $serial2
check "probe --device $node2 --serial $serial2" /tmp/probe3.log \
    kl516-cli probe --device $node2 --serial $serial2
timeout 60 kl516-cli probe --device $node1 --serial $serial2 >/tmp/probe4.log 2>&1
status=$?
if [ $status -eq 1 ] && grep -q "no meter with serial number $serial2 is attached at $node1" /tmp/probe4.log; then
    pass "probe --device $node1 --serial $serial2: exit status 1, no such meter"
else
    fail "probe --device $node1 --serial $serial2: exit status 1, no such meter (got $status)" /tmp/probe4.log
fi
timeout 60 kl516-cli probe --serial NO-SUCH-METER >/tmp/probe5.log 2>&1
status=$?
if [ $status -eq 1 ] && grep -q "no meter with serial number NO-SUCH-METER is attached" /tmp/probe5.log; then
    pass "probe --serial NO-SUCH-METER: exit status 1, no such meter"
else
    fail "probe --serial NO-SUCH-METER: exit status 1, no such meter (got $status)" /tmp/probe5.log
fi
rm -f /tmp/out1.rec /tmp/out2.rec
check "download --serial $serial" /tmp/download1.log kl516-cli download --serial $serial --out /tmp/out1.rec
check "download --serial $serial2" /tmp/download2.log kl516-cli download --serial $serial2 --out /tmp/out2.rec
if cmp /data/small.rec /tmp/out1.rec >/tmp/cmp.log 2>&1; then
    pass "download --serial $serial equals the small image that meter holds"
else
    fail "download --serial $serial equals the small image that meter holds" /tmp/cmp.log
fi
if [ -s /tmp/out2.rec ] && ! cmp -s /data/small.rec /tmp/out2.rec; then
    pass "download --serial $serial2 got the other meter's memory ($(wc -c </tmp/out2.rec) bytes)"
else
    fail "download --serial $serial2 got the other meter's memory" /tmp/download2.log
fi
kill -TERM "$gadget2_pid" 2>/dev/null
wait "$gadget2_pid"
stop_gadget "two meters"

finish
