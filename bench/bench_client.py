#!/usr/bin/env python3
"""The whole client with twenty live pictures, against tavrina-sim on the same machine.

    bench/bench_client.py [--seconds 60] [--bin build/bin] [--capture FILE]

Every virtual terminal replays a real terminal's capture (--replay). The client runs under Xvfb
(1280x800, mode 4, the twenty pictures stored as its last pictures, auto login, idle closing
off) with --stats. Printed, from the stats lines of the measured window and /proc:
  - main-loop tick p50 / p99 / max, frames dropped, resident memory;
  - the client's CPU time against ffmpeg -threads 1 decoding as many pictures of the same
    stream, in the same run (ratio);
  - per picture, the time from its first frame (a key frame) to its first picture;
  - after the simulator is killed and started again on the same ports, the time until every
    picture moves again.
"""

import argparse
import json
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import time


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    ticks = os.sysconf("SC_CLK_TCK")
    return (int(fields[11]) + int(fields[12])) / ticks


def stats_lines(path):
    try:
        with open(path) as f:
            return [json.loads(l) for l in f if l.strip()]
    except (OSError, ValueError):
        return []


def percentile(values, fraction):
    if not values:
        return 0.0
    v = sorted(values)
    rank = max(1, min(len(v), int(-(-fraction * len(v) // 1))))
    return v[rank - 1]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--seconds", type=int, default=60)
    ap.add_argument("--bin", default="build/bin")
    ap.add_argument("--capture", default="../shared/testdata/jt1078/sim10-h264-g711a.rtp")
    ap.add_argument("--perf", help="record the client's profile here (perf, cpu-clock)")
    a = ap.parse_args()
    bin_dir = os.path.abspath(a.bin)
    capture = os.path.abspath(a.capture)
    work = tempfile.mkdtemp(prefix="tavrina-bench-")
    ports = {k: free_port() for k in ("video", "terminal", "http", "ws")}
    sim_args = [f"{bin_dir}/tavrina-sim", "--video-port", str(ports["video"]), "--terminal-port",
                str(ports["terminal"]), "--http-port", str(ports["http"]), "--ws-port",
                str(ports["ws"]), "--vehicles", "20", "--replay", capture,
                "--ports-file", f"{work}/ports.json"]

    def start_sim():
        try:
            os.remove(f"{work}/ports.json")
        except OSError:
            pass
        p = subprocess.Popen(sim_args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(100):
            if os.path.exists(f"{work}/ports.json"):
                return p
            time.sleep(0.1)
        sys.exit("bench: tavrina-sim did not start")

    sim = start_sim()
    info = json.load(open(f"{work}/ports.json"))

    # Twenty channels of the fleet, from the tree an integrator's tool prints.
    tree = subprocess.run([f"{bin_dir}/tavrina-apicheck", "--data-url", info["data_url"],
                           "--cmd-url", info["cmd_url"], "--user", "demo", "--password", "demo",
                           "--tree"], capture_output=True, text=True).stdout
    channels, sim_no = [], None
    for line in tree.splitlines():
        m = re.match(r"\s*(\S.*?)\tkind=(\d)", line)
        if not m:
            continue
        if m.group(2) == "4":
            sim_no = m.group(1)
        elif m.group(2) == "5" and sim_no and len(channels) < 20:
            channels.append((sim_no, int(m.group(1).strip()[2:])))
    if len(channels) < 20:
        sys.exit(f"bench: only {len(channels)} channels in the fleet")

    home = f"{work}/home"
    os.makedirs(f"{home}/media")
    subprocess.run(["cp", f"{bin_dir}/Zorvu.cfset", home], check=True)
    last = {"first": 1, "mode": 4, "pictures": [
        {"cell": i + 1, "ch": ch, "name": "", "sim": s} for i, (s, ch) in enumerate(channels)]}
    values = {"RTP服务器IP": "127.0.0.1", "RTP服务器端口": str(ports["video"]),
              "POST_Data_url": info["data_url"], "POST_CMD_url": info["cmd_url"],
              "WS监听IP": "127.0.0.1", "WS监听端口": str(ports["ws"]),
              "截图录像保存目录": f"{home}/media/", "用户名": "demo", "密码": "demo",
              "自动登录": "1", "无操作关闭视频": "0",
              "上次画面": json.dumps(last, separators=(",", ":")).encode().hex()}
    for k, v in values.items():
        subprocess.run([f"{bin_dir}/tavrina-config", "set", f"{home}/Zorvu.cfset", k, v],
                       check=True, stdout=subprocess.DEVNULL)

    stats = f"{work}/stats.jsonl"
    xvfb = subprocess.Popen(["Xvfb", ":97", "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1)
    env = dict(os.environ, DISPLAY=":97", QT_QPA_PLATFORM="xcb")
    client = subprocess.Popen([f"{bin_dir}/tavrina", "--home", home, "--stats", stats], env=env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        # Warm-up: every picture playing.
        deadline = time.time() + 60
        while time.time() < deadline:
            lines = stats_lines(stats)
            if lines and len(lines[-1]["pictures"]) == 20 and all(
                    p["shown"] > 0 for p in lines[-1]["pictures"]):
                break
            time.sleep(0.5)
        else:
            sys.exit("bench: the twenty pictures did not start")
        time.sleep(3)
        first = len(stats_lines(stats))
        cpu0, t0 = cpu_seconds(client.pid), time.time()
        if a.perf:
            subprocess.run(["perf", "record", "-q", "-e", "cpu-clock", "-g", "-o", a.perf, "-p",
                            str(client.pid), "--", "sleep", str(a.seconds)],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        else:
            time.sleep(a.seconds)
        cpu1, t1 = cpu_seconds(client.pid), time.time()
        lines = stats_lines(stats)[first:]
        rss = [l["rss_mb"] for l in lines]
        p99s = [l["tick_ms"]["p99"] for l in lines]
        p50s = [l["tick_ms"]["p50"] for l in lines]
        worst = max(l["tick_ms"]["max"] for l in lines)
        decoded = sum(p["decoded"] for l in lines for p in l["pictures"])
        shown = sum(p["shown"] for l in lines for p in l["pictures"])
        dropped = sum(p["dropped"] for p in lines[-1]["pictures"])
        starts = [p["start_ms"] for p in lines[-1]["pictures"]]

        # The same number of pictures of the same stream, decoded by ffmpeg on one thread: the
        # stream as the client received it (from its first key frame), repeated end to end.
        one = f"{work}/one.rtp"
        subprocess.run([f"{bin_dir}/tavrina-capture", "--server", f"127.0.0.1:{ports['video']}",
                        "--user", "demo", "--sim", channels[0][0], "--channel",
                        str(channels[0][1]), "--seconds", "8", "--out", one],
                       stdout=subprocess.DEVNULL, check=True)
        subprocess.run([f"{bin_dir}/tavrina-rtpdump", "--h264", f"{work}/one.h264", one],
                       stdout=subprocess.DEVNULL, check=True)
        pictures_in_one = int(subprocess.run(
            ["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
             "stream=nb_read_frames", "-of", "csv=p=0", f"{work}/one.h264"],
            capture_output=True, text=True).stdout.strip() or "1")
        with open(f"{work}/one.h264", "rb") as f:
            piece = f.read()

        def decode(inputs, each):
            # `inputs` decoders side by side in one ffmpeg, each decoding `each` pictures.
            with open(f"{work}/part.h264", "wb") as f:
                for _ in range(each // max(pictures_in_one, 1) + 2):
                    f.write(piece)
            args, maps = [], []
            for i in range(inputs):
                args += ["-threads", "1", "-i", f"{work}/part.h264"]
                maps += ["-map", f"{i}:v", "-frames:v", str(each), "-threads", "1", "-f", "null",
                         "-"]
            before = os.times()
            subprocess.run(["ffmpeg", "-v", "quiet"] + args + maps, check=True)
            after = os.times()
            return (after.children_user - before.children_user) + (
                after.children_system - before.children_system)

        ffmpeg_one = decode(1, decoded)
        ffmpeg_cpu = decode(20, decoded // 20)
        client_cpu = cpu1 - cpu0

        # The video server (with the platform) restarts on the same ports.
        sim.send_signal(signal.SIGKILL)
        sim.wait()
        restart = time.time()
        sim = start_sim()
        base = len(stats_lines(stats))
        back = None
        while time.time() - restart < 30:
            time.sleep(0.2)
            new = stats_lines(stats)[base:]
            # Moving again: two seconds in a row with every picture shown.
            moving = [all(p["shown"] > 0 for p in l["pictures"]) and len(l["pictures"]) == 20
                      for l in new]
            if len(moving) >= 3 and any(moving[i] and moving[i + 1] for i in range(1, len(moving) - 1)):
                idx = next(i for i in range(1, len(moving) - 1) if moving[i] and moving[i + 1])
                back = idx  # seconds after the restart, by the stats lines' clock
                break
        print(f"bench_client: {a.seconds} s, 20 pictures of the replayed capture, mode 4, "
              f"1280x800 under Xvfb, simulator on the same machine")
        print(f"| tick p50 (median of seconds) | {percentile(p50s, 0.5):.2f} ms |")
        print(f"| tick p99 (worst second / median) | {max(p99s):.2f} / {percentile(p99s, 0.5):.2f} ms |")
        print(f"| tick max | {worst:.2f} ms |")
        print(f"| pictures decoded / shown | {decoded} / {shown} |")
        print(f"| frames dropped | {dropped} |")
        print(f"| client CPU | {client_cpu:.1f} s in {t1 - t0:.1f} s "
              f"({100 * client_cpu / (t1 - t0):.0f} % of one core) |")
        print(f"| ffmpeg -threads 1, 20 streams side by side, {decoded} pictures | {ffmpeg_cpu:.1f} s |")
        print(f"| ratio client / ffmpeg (20 streams) | {client_cpu / max(ffmpeg_cpu, 1e-9):.2f} |")
        print(f"| ffmpeg -threads 1, one stream, {decoded} pictures | {ffmpeg_one:.1f} s "
              f"(ratio {client_cpu / max(ffmpeg_one, 1e-9):.2f}) |")
        print(f"| resident memory | {rss[0]:.0f} -> {rss[-1]:.0f} MB |")
        print(f"| first frame to first picture (p50 / max over 20) | "
              f"{percentile(starts, 0.5):.0f} / {max(starts):.0f} ms |")
        print(f"| video server restart to all pictures moving | "
              f"{'not within 30 s' if back is None else f'{back} s (stats lines are 1 s apart)'} |")
    finally:
        client.terminate()
        try:
            client.wait(10)
        except subprocess.TimeoutExpired:
            client.kill()
        xvfb.terminate()
        sim.kill()
        subprocess.run(["rm", "-rf", work])


if __name__ == "__main__":
    main()
