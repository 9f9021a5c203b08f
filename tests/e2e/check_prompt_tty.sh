#!/usr/bin/env bash
# twinquake at a terminal: its prompt is on screen while it waits for the
# first answer, before anything has been typed; the three answers then give
# a complete run (status 0) with the pair records echoed on the terminal.
# The terminal is a pseudo-terminal (python3's pty module) on standard input
# and standard output; standard error goes to a file.
# Usage: bash check_prompt_tty.sh BUILD_DIR [SOURCE_DIR]
set -u
bin="$(cd "$1" && pwd)/twinquake/twinquake"
command -v python3 > /dev/null || { echo "FAILED: python3 is needed to drive a pseudo-terminal"; exit 1; }
[ -x "$bin" ] || { echo "FAILED: no twinquake at $bin"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

# Two events 2.5 days and about 7 km apart: one pair.
cat > cat.txt <<'EOF'
2000-01-02T12:00:00 40.10 20.10 12.0 4.5 36525.5 NB
2000-01-05T00:00:00 40.05 20.05 10.0 5.5 36528.0 NC
EOF

python3 - "$bin" <<'EOF'
import os, select, subprocess, sys, time

PROMPT = b" dist range, time window, and min magntiude for the aftershock (E1) and mainshock (E2): "
ANSWERS = [b"50 10 3 5\n", b"cat.txt pairs.out e1pairs.out\n", b"2\n"]
WAIT = 10.0  # seconds allowed for the program to answer

master, slave = os.openpty()
err = open("stderr.txt", "wb")
proc = subprocess.Popen([sys.argv[1]], stdin=slave, stdout=slave, stderr=err, close_fds=True)
os.close(slave)
seen = b""

def read_until(pred, limit):
    # Reads the terminal until pred(seen) holds, the program ends, or time is up.
    global seen
    end = time.monotonic() + limit
    while not pred(seen):
        left = end - time.monotonic()
        if left <= 0:
            return False
        ready, _, _ = select.select([master], [], [], left)
        if not ready:
            continue
        try:
            chunk = os.read(master, 4096)
        except OSError:  # the program has ended and closed the terminal
            return pred(seen)
        if not chunk:
            return pred(seen)
        seen += chunk
    return True

def fail(why):
    print("FAILED: " + why)
    print("terminal so far: %r" % seen[:400])
    if proc.poll() is None:
        proc.kill()
    proc.wait()
    sys.exit(1)

# Nothing typed yet: the prompt must be on the terminal, and the program
# still running, waiting for its first answer.
if not read_until(lambda s: PROMPT in s, WAIT):
    fail("no prompt on the terminal within %g s while twinquake waits for input" % WAIT)
if proc.poll() is not None:
    fail("twinquake ended (status %s) before any answer was typed" % proc.returncode)
time.sleep(0.2)
if proc.poll() is not None:
    fail("twinquake did not wait for its answers (status %s)" % proc.returncode)
if not seen.lstrip(b"\r\n").startswith(PROMPT):
    fail("the terminal shows something before the prompt")

for line in ANSWERS:
    os.write(master, line)
ok = read_until(lambda s: b"2000-01-02T12:00:00" in s.split(PROMPT, 1)[1], WAIT)
try:
    status = proc.wait(timeout=WAIT)
except subprocess.TimeoutExpired:
    fail("twinquake did not end after its three answers")
if status != 0:
    fail("twinquake ended with status %d: %s" % (status, open("stderr.txt", "rb").read()))
if not ok:
    fail("the pair record was not echoed on the terminal")
if os.path.getsize("stderr.txt") != 0:
    fail("twinquake wrote to standard error: %r" % open("stderr.txt", "rb").read())
pairs = open("pairs.out", "rb").read()
if pairs.count(b"\n") != 1 or len(pairs) != 190:
    fail("pairs.out does not hold the one pair record: %r" % pairs)
print("check_prompt_tty: ok (prompt shown before input, run complete)")
EOF
