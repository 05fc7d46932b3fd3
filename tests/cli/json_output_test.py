#!/usr/bin/env python3
"""quillet-cli --json as a script reads it: each command of one family prints one JSON document
that Python's json module parses, with the keys of the manual page; a command that stops before
its work prints none. On a fresh sample prefix, with a stand-in crontab.
Usage: json_output_test.py FAMILY QUILLET_CLI MAKE_SAMPLE_PREFIX"""
import json, os, pathlib, subprocess, sys, tempfile

MAIN = "Main Identity"
CRONTAB = """#!/bin/sh
case "$1" in -l) cat "$0.txt" 2>/dev/null || echo "no crontab for tester" >&2 ;; -) cat >"$0.txt" ;;
esac
"""


def families(t):
    """Per family: (arguments, exit status, what the document must satisfy)."""
    qbk, pw = str(t / "main.qbk"), ["--password-file", str(t / "pw")]
    return {
        "identities": [(["identities"], 0, lambda d: d["identities"][0] == {
            "key": d["identities"][0]["key"], "user_name": MAIN})],
        "backup": [
            (["backup", "-n", "-i", MAIN, "-o", qbk], 0,
             lambda d: d["dry_run"] and d["entries"] and not os.path.exists(qbk)),
            (["backup", "-i", MAIN, "-o", qbk, *pw], 0,
             lambda d: list(d) == ["file", "written", "written_to", "items", "summary"]
             and all(i["succeeded"] for i in d["items"])
             and d["summary"]["bytes_written"] == os.path.getsize(qbk)),
            (["list", qbk], 0, lambda d: d["entries"][0]["size"] > 0),
            (["info", qbk, *pw], 0, lambda d: d["protected"] and d["items"][0]["entries"]),
            (["verify", qbk, *pw], 0, lambda d: d["sound"] and d["entries"] > 0),
            (["verify", qbk, "--password-file", str(t / "wrong")], 2, None),
            (["restore", qbk, "-i", "Zo\u00eb \u00c5ngstr\u00f6m", "-n", *pw], 0,
             lambda d: d["items"][3]["item"] == "messages" and d["items"][3]["replace_files"]),
            (["restore", qbk, "-i", "Zo\u00eb \u00c5ngstr\u00f6m", "--items", "rules", *pw], 0,
             lambda d: d["items"] == [{"item": "rules", "succeeded": True}]),
        ],
        "mail": [
            (["export", "-i", MAIN, "-o", str(t / "mail"), "-n"], 0,
             lambda d: len(d["folders"]) == 7 and d["stores_left_out"] == []),
            (["export", "-i", MAIN, "-o", str(t / "mail")], 0,
             lambda d: d["messages"] == 12 and d["folders"] == len(d["complete"]) == 7),
            (["check", "-i", MAIN], 0, lambda d: sum(s["messages"] for s in d["stores"]) == 12),
            (["check", str(next(t.rglob("*.wab")))], 0,
             lambda d: d["address_book"]["state"] == "sound"),
            (["contacts", "-o", str(t / "c.vcf")], 1, lambda d: d["contacts"] == 3),
            (["thunderbird", "-i", MAIN, "--profile", str(t / "tb"), "--no-register"], 0,
             lambda d: d["mail"]["messages"] == 12 and d["registered_as"] is None),
        ],
        "schedule": [
            (["schedule", "add", "-i", MAIN, "-o", qbk, "--at", "9:00", "--days", "M"], 0,
             lambda d: d == {"number": 1}),
            (["schedule", "list"], 0,
             lambda d: d["jobs"][0]["file"] == qbk and d["jobs"][0]["last_run"] is None),
            (["schedule", "remove", "1"], 0, lambda d: d == {"removed": 1}),
        ],
        "disc": [
            (["disc", "devices"], 0, lambda d: d["devices"][-1]["device"] == "image:PATH"),
            (["disc", "write", "--device", f"image:{t}/b.iso", "--verify", str(t / "pw")], 0,
             lambda d: d == {"target": f"{t}/b.iso", "files": 1, "verified": True,
                             "verify_failures": []}),
        ],
    }


def main():
    family, program, maker = sys.argv[1:4]
    with tempfile.TemporaryDirectory() as folder:
        t = pathlib.Path(folder)
        subprocess.run(["bash", maker, str(t / "prefix")], check=True, stdout=subprocess.DEVNULL)
        for name, text in (("pw", "secret\n"), ("wrong", "wrong\n"), ("bin/crontab", CRONTAB)):
            (t / name).parent.mkdir(exist_ok=True, parents=True)
            (t / name).write_text(text)
        (t / "bin/crontab").chmod(0o755)
        (t / "tmp").mkdir()
        env = {"HOME": folder, "TMPDIR": f"{folder}/tmp", "USER": "quillet", "LC_ALL": "C",
               "PATH": f"{folder}/bin:{os.environ['PATH']}"}
        for args, status, holds in families(t)[family]:
            run = subprocess.run([program, "--prefix", f"{folder}/prefix", "--json", *args],
                                 env=env, capture_output=True, text=True, timeout=300)
            if run.returncode != status or (holds is None) != (run.stdout == ""):
                sys.exit(f"{args}: exit {run.returncode}, stdout {run.stdout!r}, {run.stderr}")
            if holds and not holds(json.loads(run.stdout)):
                sys.exit(f"{args}: not as expected: {run.stdout}")
    print(f"{family}: every document as expected")


if __name__ == "__main__":
    main()
