#!/usr/bin/env python3
"""A crowd of idle, logged-in clients against the running program on port 21.

Holds up to --sessions logged-in control connections at once, then serves a
fresh client (login and NOOP) while they are held, then ends the crowd
either by running --stop-command (the window's Stop) or by every client
sending QUIT, and waits until the program's threads and descriptors are back
where they were before the crowd came. Prints "name value" lines; exits 1
with the reason on stderr when a step fails. Every wait has a deadline and
every loop a count.
"""
import argparse
import asyncio
import os
import resource
import subprocess
import sys
import time

GREETING = "220 歡迎使用 Vandrel Tessel FTP Server\r\n".encode("cp950")
NEED_PASSWORD = b"331 "
LOGGED_IN = "230 使用者登入成功！\r\n".encode("cp950")
NOOP_DONE = "200 完成命令測試！\r\n".encode("cp950")
FAREWELL = "220 再見！\r\n".encode("cp950")

STEP_SECONDS = 30
IN_FLIGHT = 200


class Failure(Exception):
    pass


# The toolkit names the threads of its painting pool so; they end on its own
# schedule (after 30 s idle), not when sessions end, so they are not counted.
TOOLKIT_POOL_THREAD = "Thread (pooled)"


def own_threads(pid):
    """The program's threads less the toolkit's pooled ones."""
    count = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/comm") as comm:
                count += comm.read().rstrip("\n") != TOOLKIT_POOL_THREAD
        except FileNotFoundError:
            pass  # ended while the folder was read
    return count


def process_figures(pid):
    """Resident KiB, own threads and open descriptors of the program."""
    rss = 0
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                rss = int(line.split()[1])
    return {
        "rss_kib": rss,
        "threads": own_threads(pid),
        "fds": len(os.listdir(f"/proc/{pid}/fd")),
    }


async def expect(reader, wanted, what):
    line = await asyncio.wait_for(reader.readline(), STEP_SECONDS)
    if not line.startswith(wanted):
        raise Failure(f"{what}: got {line!r}, want {wanted!r}")


async def log_in(port):
    reader, writer = await asyncio.wait_for(asyncio.open_connection("127.0.0.1", port), STEP_SECONDS)
    try:
        await expect(reader, GREETING, "greeting")
        writer.write(b"USER anonymous\r\n")
        await expect(reader, NEED_PASSWORD, "USER")
        writer.write(b"PASS crowd@\r\n")
        await expect(reader, LOGGED_IN, "PASS")
    except BaseException:
        writer.close()
        raise
    return reader, writer


async def gather_crowd(port, sessions):
    """Logs in as many as will be served, IN_FLIGHT at a time; stops at the first refusal."""
    held = []
    refused = []
    pending = iter(range(sessions))

    async def one():
        try:
            held.append(await log_in(port))
        except (Failure, OSError, asyncio.TimeoutError, asyncio.IncompleteReadError) as error:
            refused.append(str(error) or type(error).__name__)

    while len(held) + len(refused) < sessions and not refused:
        batch = [one() for _, _ in zip(range(IN_FLIGHT), pending)]
        if not batch:
            break
        await asyncio.gather(*batch)
    return held, refused


async def fresh_client(port):
    """Milliseconds from connecting to the NOOP reply of a new client."""
    started = time.monotonic()
    reader, writer = await log_in(port)
    writer.write(b"NOOP\r\n")
    await expect(reader, NOOP_DONE, "NOOP")
    elapsed = (time.monotonic() - started) * 1000
    writer.write(b"QUIT\r\n")
    await expect(reader, FAREWELL, "QUIT")
    writer.close()
    return elapsed


async def closed_by_server(reader):
    """Reads to the end of the connection: true if the server closed it."""
    for _ in range(16):
        if not await asyncio.wait_for(reader.read(4096), STEP_SECONDS):
            return True
    return False


async def end_crowd(held, stop_command):
    started = time.monotonic()
    if stop_command:
        subprocess.run(stop_command, shell=True, check=True, timeout=STEP_SECONDS)
    else:
        for _, writer in held:
            writer.write(b"QUIT\r\n")
    ends = await asyncio.gather(*(closed_by_server(reader) for reader, _ in held), return_exceptions=True)
    elapsed = (time.monotonic() - started) * 1000
    for _, writer in held:
        writer.close()
    still_open = sum(1 for end in ends if end is not True)
    if still_open:
        raise Failure(f"{still_open} of {len(held)} sessions were not ended by the server")
    return elapsed


def wait_until_back(pid, baseline, seconds):
    """Polls until threads and descriptors are no more than before the crowd."""
    deadline = time.monotonic() + seconds
    while True:
        now = process_figures(pid)
        if now["threads"] <= baseline["threads"] and now["fds"] <= baseline["fds"]:
            return now
        if time.monotonic() > deadline:
            raise Failure(f"after the crowd: {now}, before it: {baseline}")
        time.sleep(0.1)


def report(name, value):
    print(f"{name} {value:.1f}" if isinstance(value, float) else f"{name} {value}", flush=True)


async def run(args):
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    baseline = process_figures(args.pid)
    held, refused = await gather_crowd(args.port, args.sessions)
    report("sessions_held", len(held))
    if refused:
        print(f"crowd: client {len(held) + 1} was refused: {refused[0]}", file=sys.stderr)
    time.sleep(args.settle)
    crowded = process_figures(args.pid)
    report("threads_in_crowd", crowded["threads"])
    report("fds_in_crowd", crowded["fds"])
    if held:
        report("idle_session_kib", (crowded["rss_kib"] - baseline["rss_kib"]) / len(held))
    report("fresh_login_noop_ms", max([await fresh_client(args.port) for _ in range(5)]))
    report("end_ms", await end_crowd(held, args.stop_command))
    # Each session's thread ends within moments of its connection's close;
    # the step's 30 s leaves room for a loaded machine and the race detector.
    back = wait_until_back(args.pid, baseline, STEP_SECONDS)
    time.sleep(args.settle)
    back = process_figures(args.pid)
    report("rss_start_kib", baseline["rss_kib"])
    report("rss_after_kib", back["rss_kib"])
    report("rss_growth_kib", back["rss_kib"] - baseline["rss_kib"])
    if len(held) < args.sessions:
        raise Failure(f"held {len(held)} of {args.sessions} sessions")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--pid", type=int, required=True, help="the program's process id")
    parser.add_argument("--sessions", type=int, required=True)
    parser.add_argument("--port", type=int, default=21)
    parser.add_argument("--stop-command", help="shell command that presses Stop; without it the clients QUIT")
    parser.add_argument("--settle", type=float, default=1.0, help="seconds to let the program settle")
    args = parser.parse_args()
    try:
        asyncio.run(run(args))
    except (Failure, OSError, asyncio.TimeoutError, subprocess.SubprocessError) as error:
        print(f"crowd: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
