#!/usr/bin/env python3
"""The journal test's exact-byte work, which bash does badly: reading
`journalctl -o export`, checking a report entry's fields against this machine
and its text, and the fleet's collected entries.
  usage: journal_entries.py COMMAND ARGS... (the commands are at the end)"""
import os, pickle, re, socket, ssl, subprocess, sys, time

def parse_export(data):
    """Parse `journalctl -o export` (including its binary-safe fields): each
    entry maps a field name to the list of its values, in order."""
    entries, cur, i = [], {}, 0
    while i < len(data):
        nl = data.find(b"\n", i)
        if nl < 0: break
        line = data[i:nl]
        if not line:           # a blank line ends an entry
            entries.append(cur)
            cur, i = {}, nl + 1
        elif b"=" in line:
            key, val = line.split(b"=", 1)
            cur.setdefault(key.decode(), []).append(val)
            i = nl + 1
        else:  # name LF, 64-bit little-endian size, data, LF
            n = int.from_bytes(data[nl + 1:nl + 9], "little")
            cur.setdefault(line.decode(), []).append(data[nl + 9:nl + 9 + n])
            i = nl + 9 + n + 1
    return entries + ([cur] if cur else [])

def first(entry, name):
    return entry.get(name, [None])[0]

# --- The report's fields, checked against this machine and the entry's text.
MESSAGE_ID = b"703b1144aadb45e18a2c29115422acd3"
KINDS = {"/I": "all", "/I:A": "all", "/I:V": "version", "/I:MS": "memory-stat",
         "/I:MI": "memory-info", "/I:PI": "processor-info", "/I:LI": "light-info",
         "/I:LI2": "light-info-2"}
# Field: the text's label (the first that the entry's text holds).
FACTS = {
    "ORBELLE_MEMORY_LOAD_PERCENT": ["Memory load:"],
    "ORBELLE_MEMORY_AVAILABLE_PHYSICAL_BYTES": ["Available physical:", "RAM free:"],
    "ORBELLE_MEMORY_TOTAL_PHYSICAL_BYTES": ["Total physical:", "RAM total:"],
    "ORBELLE_MEMORY_AVAILABLE_PAGE_FILE_BYTES": ["Available page file:"],
    "ORBELLE_MEMORY_TOTAL_PAGE_FILE_BYTES": ["Total page file:", "Swap total:"],
    "ORBELLE_MEMORY_AVAILABLE_VIRTUAL_BYTES": ["Available virtual:"],
    "ORBELLE_MEMORY_TOTAL_VIRTUAL_BYTES": ["Total virtual:"],
    "ORBELLE_MEMORY_USED_PAGE_FILE_BYTES": ["Swap used:"],
    "ORBELLE_PAGE_SIZE_BYTES": ["Page size:"],
    "ORBELLE_ALLOCATION_GRANULARITY_BYTES": ["Allocation granularity:"],
    "ORBELLE_MINIMUM_APPLICATION_ADDRESS": ["Minimum application address:"],
    "ORBELLE_MAXIMUM_APPLICATION_ADDRESS": ["Maximum application address:"],
    "ORBELLE_PROCESSOR_COUNT": ["Number of processors:"]}
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

def kind_fields(kind, limited):
    """The table of facts' fields (file ORBELLE_FACTS) that every kind or the kind's template holds."""
    name = {"all": "INFO_ALL", "version": "INFO_VERSION"}.get(kind, kind.upper().replace("-", "_"))
    holds = re.findall(rb"%[0-9][0-9]", open(os.path.join(ROOT, "resources", "TXT_%s.txt" % name), "rb").read())
    rows = [line.split("\t") for line in open(os.environ["ORBELLE_FACTS"]).read().splitlines()]
    return [f for p, f, _, when in rows if p == "-" or p.encode() in holds and (when == "-" or limited)]

UNITS = {"KB": 1 << 10, "MB": 1 << 20, "GB": 1 << 30, "TB": 1 << 40, "PB": 1 << 50, "EB": 1 << 60}

def os_name():
    pretty = ""
    for line in open("/etc/os-release", encoding="utf-8"):
        if line.startswith("PRETTY_NAME="):
            pretty = line[12:].strip().strip('"')
    u = os.uname()
    kernel = "%s %s %s" % (u.sysname, u.release, u.machine)
    return pretty + ", " + kernel if pretty else kernel

def online_mask():
    mask = 0
    for part in open("/sys/devices/system/cpu/online").read().strip().split(","):
        lo, _, hi = part.partition("-")
        for cpu in range(int(lo), int(hi or lo) + 1):
            mask |= 1 << cpu if cpu < 64 else 0
    return mask

def cpuinfo(key):
    for line in open("/proc/cpuinfo"):
        name, _, value = line.partition(":")
        if name.strip() == key:
            return int(value)
    return None

def shows(text, exact):
    """Whether a size text as the report writes it (three digits, cut off,
    not rounded) stands for exactly this many bytes."""
    number, unit = text.rsplit(" ", 1)
    if unit == "bytes":
        return int(number) == exact
    decimals = len(number.partition(".")[2])
    step = 10 ** -decimals
    value = exact / UNITS[unit]
    return float(number) <= value + 1e-9 and value < float(number) + step - 1e-9

def check_fields(kind, entry, os_expected, limit=None):
    why = []
    for name, values in entry.items():
        if len(values) != 1 and not name.startswith("_"):
            why.append("%s appears %d times" % (name, len(values)))
    got = {k: v[0].decode("utf-8", "replace") for k, v in entry.items()}
    names = sorted(k for k in got if k.startswith("ORBELLE_"))
    limit = limit or os.environ.get("CGROUP_LIMIT")
    expected = sorted(kind_fields(kind, bool(limit)))
    limited = "ORBELLE_MEMORY_LIMIT_SOURCE" in expected
    if names != expected:
        why.append("fields %s, expected %s" % (names, expected))
    if first(entry, "MESSAGE_ID") != MESSAGE_ID:
        why.append("MESSAGE_ID=%r" % first(entry, "MESSAGE_ID"))
    if got.get("ORBELLE_REPORT_KIND") != kind:
        why.append("ORBELLE_REPORT_KIND=%r, expected %r" % (got.get("ORBELLE_REPORT_KIND"), kind))
    if got.get("ORBELLE_VERSION") != "1.4.0.112":
        why.append("ORBELLE_VERSION=%r" % got.get("ORBELLE_VERSION"))
    numbers = {}
    for name in names:
        if name not in ("ORBELLE_REPORT_KIND", "ORBELLE_VERSION", "ORBELLE_OS_NAME",
                        "ORBELLE_MEMORY_LIMIT_SOURCE"):
            if re.fullmatch("0|[1-9][0-9]*", got[name]):
                numbers[name] = int(got[name])
            else:
                why.append("%s=%r is not a plain whole number" % (name, got[name]))
    lines = got.get("MESSAGE", "").split("\n")
    labelled = {}
    for line in lines:
        label, colon, value = line.strip().partition(":")
        if colon:
            labelled[label + ":"] = value.strip()
    page = os.sysconf("SC_PAGESIZE")
    u = os.uname()
    machine_facts = {
        "ORBELLE_PAGE_SIZE_BYTES": page, "ORBELLE_ALLOCATION_GRANULARITY_BYTES": page,
        "ORBELLE_MINIMUM_APPLICATION_ADDRESS":
            max(int(open("/proc/sys/vm/mmap_min_addr").read()), page),
        "ORBELLE_PROCESSOR_COUNT": os.sysconf("SC_NPROCESSORS_ONLN"),
        "ORBELLE_PROCESSOR_ACTIVE_MASK": online_mask(),
        "ORBELLE_OS_BITNESS": 64 if "64" in u.machine or u.machine == "s390x" else 32}
    if u.machine == "x86_64":   # AMD64; level and revision as cpuid gives them
        machine_facts.update({"ORBELLE_PROCESSOR_ARCHITECTURE": 9,
                              "ORBELLE_PROCESSOR_LEVEL": cpuinfo("cpu family"),
                              "ORBELLE_PROCESSOR_REVISION":
                                  cpuinfo("model") * 256 + cpuinfo("stepping")})
    if limited:
        mem_total = [l.split()[1] for l in open("/proc/meminfo") if l.startswith("MemTotal:")]
        machine_facts.update({"ORBELLE_MEMORY_TOTAL_PHYSICAL_BYTES": int(limit),
                              "ORBELLE_MEMORY_MACHINE_TOTAL_PHYSICAL_BYTES": int(mem_total[0]) * 1024})
        if got.get("ORBELLE_MEMORY_LIMIT_SOURCE") != "cgroup":
            why.append("ORBELLE_MEMORY_LIMIT_SOURCE=%r" % got.get("ORBELLE_MEMORY_LIMIT_SOURCE"))
    for name, value in numbers.items():
        if name in machine_facts and value != machine_facts[name]:
            why.append("%s=%d, this machine has %d" % (name, value, machine_facts[name]))
        shown = [labelled[l] for l in FACTS.get(name, []) if l in labelled]
        if name not in FACTS:
            continue
        if not shown:
            why.append("%s: the text has no %s line" % (name, FACTS[name]))
        elif name == "ORBELLE_MEMORY_LOAD_PERCENT":
            if shown[0] != "%d%%" % value:
                why.append("%s=%d, the text shows %s" % (name, value, shown[0]))
        elif name.endswith("_ADDRESS"):
            if int(shown[0], 16) != value:
                why.append("%s=%d, the text shows %s" % (name, value, shown[0]))
        elif name.endswith("_BYTES"):
            if not shows(shown[0], value):
                why.append("%s=%d, the text shows %s" % (name, value, shown[0]))
        elif str(value) != shown[0]:
            why.append("%s=%d, the text shows %s" % (name, value, shown[0]))
    if "ORBELLE_PROCESSOR_ACTIVE_MASK" in numbers:
        bits = lines[-1].strip()
        if int(bits, 2) != numbers["ORBELLE_PROCESSOR_ACTIVE_MASK"]:
            why.append("ORBELLE_PROCESSOR_ACTIVE_MASK differs from the text's %s" % bits)
    if "ORBELLE_OS_NAME" in got:
        if got["ORBELLE_OS_NAME"] != os_expected:
            why.append("ORBELLE_OS_NAME=%r, expected %r" % (got["ORBELLE_OS_NAME"], os_expected))
        if os_expected not in lines:
            why.append("the text has no line %r" % os_expected)
    if "ORBELLE_OS_BITNESS" in numbers and \
            "Running %d-bit system" % numbers["ORBELLE_OS_BITNESS"] not in lines:
        why.append("the text does not say it runs a %d-bit system" % numbers["ORBELLE_OS_BITNESS"])
    return why

# The entry that a 32-bit machine's OrbelleC sends for /I: Debian 12 for i386 on a 3 GiB, two-core
# machine. This kernel runs no 32-bit program; the fleet test writes it into one host's journal,
# field by field in the program's order, as the native protocol carries it.
ENTRY_32_BIT = [
    ("MESSAGE", b"""Brenvik - Pavik system info (console) 1.04.0112

Debian GNU/Linux 12 (bookworm), Linux 6.1.0-28-686-pae i686

Running 32-bit system

Memory statistics: 
   Memory load:         23%
   Available physical:  2.26 GB
   Total physical:      2.94 GB
   Available page file: 3.24 GB
   Total page file:     3.92 GB
   Available virtual:   2.99 GB
   Total virtual:       3.00 GB

Memory info:
   Page size:                   4.00 KB
   Allocation granularity:      4.00 KB
   Minimum application address: 0x00010000
   Maximum application address: 0xBFFFFFFF

Processor info:
   Processor architecture: Intel
   Processor level:        Pentium Pro or Pentium II
   Processor revision:     Model 15, Stepping 6
   Number of processors:   2
   Active processor mask: 
      00000000000000000000000000000011"""),
    ("PRIORITY", b"6"), ("SYSLOG_IDENTIFIER", b"OrbelleC"), ("MESSAGE_ID", MESSAGE_ID),
    ("ORBELLE_REPORT_KIND", b"all"), ("ORBELLE_VERSION", b"1.4.0.112"),
    ("ORBELLE_MEMORY_LOAD_PERCENT", b"23"), ("ORBELLE_MEMORY_AVAILABLE_PHYSICAL_BYTES", b"2433331200"),
    ("ORBELLE_MEMORY_TOTAL_PHYSICAL_BYTES", b"3164520448"),
    ("ORBELLE_MEMORY_AVAILABLE_PAGE_FILE_BYTES", b"3481903104"),
    ("ORBELLE_MEMORY_TOTAL_PAGE_FILE_BYTES", b"4213092352"),
    ("ORBELLE_MEMORY_AVAILABLE_VIRTUAL_BYTES", b"3214868480"),
    ("ORBELLE_MEMORY_TOTAL_VIRTUAL_BYTES", b"3221225472"), ("ORBELLE_PAGE_SIZE_BYTES", b"4096"),
    ("ORBELLE_ALLOCATION_GRANULARITY_BYTES", b"4096"), ("ORBELLE_MINIMUM_APPLICATION_ADDRESS", b"65536"),
    ("ORBELLE_MAXIMUM_APPLICATION_ADDRESS", b"3221225471"), ("ORBELLE_PROCESSOR_ARCHITECTURE", b"0"),
    ("ORBELLE_PROCESSOR_LEVEL", b"6"), ("ORBELLE_PROCESSOR_REVISION", b"3846"),
    ("ORBELLE_PROCESSOR_COUNT", b"2"), ("ORBELLE_PROCESSOR_ACTIVE_MASK", b"3"),
    ("ORBELLE_OS_BITNESS", b"32"),
    ("ORBELLE_OS_NAME", b"Debian GNU/Linux 12 (bookworm), Linux 6.1.0-28-686-pae i686")]

# The doc's questions to the central journal, each with what it must answer
# here, from the hosts' own journals and this machine; the last numbered
# host's clock is days behind, host HOST_32_BIT has the entry above alone.
HOST_32_BIT = None

def every_report(out, at_home, kinds):   # an entry's first line, then its text's, indented
    heads = [re.match(rb"\w{3} \d\d \d\d:\d\d:\d\d (\S+) OrbelleC(?:\[\d+\])?: ", l)
             for l in out.splitlines() if not l.startswith(b" ")]
    return sorted(h.group(1) if h else b"" for h in heads) == sorted(n.encode() for n in at_home for _ in at_home[n])

def latest_report(out, at_home, kinds):
    return out == first(at_home["host-1"][-1], "MESSAGE") + b"\n"

def latest_figures(out, at_home, kinds):
    fields = ["_HOSTNAME", "ORBELLE_MEMORY_TOTAL_PHYSICAL_BYTES", "ORBELLE_PROCESSOR_COUNT", "ORBELLE_OS_NAME"]
    alls = [[e for e in at_home[n] if first(e, "ORBELLE_REPORT_KIND") == b"all"][-1] for n in sorted(at_home)]
    return out == b"".join(b"\t".join(first(e, f) for f in fields) + b"\n" for e in alls)

def silent_for_two_days(out, at_home, kinds):
    return out == ("host-%d\n" % (len(at_home) - 1)).encode()

def machine_memory(at_home):
    """Each machine's own memory: the numbered hosts run on this one, whatever memory cgroup
    their program ran in."""
    here = [int(l.split()[1]) * 1024 for l in open("/proc/meminfo") if l.startswith("MemTotal:")][0]
    return {n: int(dict(ENTRY_32_BIT)["ORBELLE_MEMORY_TOTAL_PHYSICAL_BYTES"]) if n == HOST_32_BIT else here
            for n in sorted(at_home)}

def below_4_gib(out, at_home, kinds):
    return out == "".join("%s\t%d\n" % m for m in machine_memory(at_home).items() if m[1] < 4 << 30).encode()

def thirty_two_bit(out, at_home, kinds):
    here_64 = "64" in os.uname().machine or os.uname().machine == "s390x"
    return out == "".join(n + "\n" for n in sorted(at_home) if n == HOST_32_BIT or not here_64).encode()

def fleet_memory(out, at_home, kinds):
    return out == b"%d\n" % sum(machine_memory(at_home).values())

QUERIES = {"every report of every machine": every_report, "one machine's latest report": latest_report,
           "the latest figures of every machine, a line each": latest_figures,
           "the machines that have not reported for two days": silent_for_two_days,
           "the machines with less than 4 GiB, and their memory": below_4_gib,
           "the 32-bit machines": thirty_two_bit, "the fleet's memory, in bytes": fleet_memory}

def check_queries(doc, central_dir, at_home, kinds):
    """Runs each query of the doc's ```sh block (a '# question' line, then its
    command) on the central journal, and checks what it answers."""
    block = re.search(r"^```sh\n(.*?)^```$", open(doc).read(), re.M | re.S).group(1)
    asked, why = {}, []
    for line in block.splitlines():
        if line.startswith("# "):
            question = line[2:]
            asked[question] = ""
        else:
            asked[question] += line.replace("/var/log/journal/remote", central_dir).replace("web-12", "host-1") + "\n"
    if sorted(asked) != sorted(QUERIES):
        why.append("the doc asks %s; the test knows %s" % (sorted(asked), sorted(QUERIES)))
    for question, command in asked.items():
        run = subprocess.run(["bash", "-o", "pipefail", "-c", command], capture_output=True)
        if run.returncode != 0 or not QUERIES.get(question, lambda *_: False)(run.stdout, at_home, kinds):
            why.append("query '%s' (status %d) answered: %r" % (question, run.returncode, run.stdout[:300]))
    return why

def kind_of(args):
    kind = "/I"
    for arg in args:
        if arg.upper().startswith("/I"):
            kind = arg.upper()
    return KINDS[kind]

cmd, args = sys.argv[1], sys.argv[2:]
if cmd == "expected":          # TITLE STDOUT_FILE OUT_FILE
    data = open(args[1], "rb").read()
    if not data.endswith(b"\n") or b"\r" in data:
        sys.exit("stdout of the reference run does not end its lines in LF alone")
    body = data[:-1]
    open(args[2], "wb").write(args[0].encode() + b"\n\n" + body)
elif cmd == "between":         # MARK_A MARK_B OUT_DIR  (export on stdin)
    entries = parse_export(sys.stdin.buffer.read())
    msgs = [first(e, "MESSAGE") for e in entries]
    a, b = args[0].encode(), args[1].encode()
    if b not in msgs:
        sys.exit(2)            # not written yet: caller polls again
    if a not in msgs:
        sys.exit("barrier %s missing from the journal" % args[0])
    new = [e for e in entries[msgs.index(a) + 1:msgs.index(b)]
           if first(e, "_TRANSPORT") not in (b"driver", b"kernel", b"audit")]
    print(len(new))
    for field in ("MESSAGE", "PRIORITY", "SYSLOG_IDENTIFIER") if len(new) == 1 else ():
        if field in new[0]:
            open(os.path.join(args[2], field), "wb").write(first(new[0], field))
    if len(new) == 1:
        pickle.dump(new[0], open(os.path.join(args[2], "entry"), "wb"))
elif cmd == "fields":          # ENTRY_FILE OS_NAME|"" PROGRAM_ARGS...: one reason a line
    why = check_fields(kind_of(args[2:]), pickle.load(open(args[0], "rb")), args[1] or os_name())
    for reason in why:
        print(reason)
    sys.exit(1 if why else 0)
elif cmd == "collected":       # TITLE KINDS CENTRAL_DIR DOC CUT_NAME CUT_SENT NAME_32_BIT LOCAL [NAME LOCAL DIR]...
    title, kinds, central_dir, doc, cut_name = args[0].encode(), args[1].split(), args[2], args[3], args[4]
    HOST_32_BIT = args[6]
    export = lambda *match: parse_export(subprocess.run(["journalctl", "-D", central_dir, "-o", "export"] +
                                                        list(match), capture_output=True).stdout)
    central, by_id = export(), export("MESSAGE_ID=" + MESSAGE_ID.decode())
    hosts = [args[i:i + 3] for i in range(8, len(args), 3)]
    ours = lambda entries: [e for e in entries if first(e, "SYSLOG_IDENTIFIER") == b"OrbelleC"]
    why, machine_ids, at_home, limited = [], set(), {}, 0
    # What the transport must keep of each entry as it was on its host.
    kept = lambda e: sorted((k, v) for k, v in e.items() if not k.startswith("__") and
                            k not in ("_SOURCE_REALTIME_TIMESTAMP",))
    for name, local, folder in hosts:
        from_host = [e for e in ours(central) if first(e, "_HOSTNAME") == name.encode()]
        at_home[name] = ours(parse_export(open(local, "rb").read()))
        if len(from_host) != len(kinds):
            why.append("%s: %d entries collected, expected %d" % (name, len(from_host), len(kinds)))
        if [kept(e) for e in from_host] != [kept(e) for e in at_home[name]]:
            why.append("%s: the collected entries differ from the host's own" % name)
        machine_ids.update(first(e, "_MACHINE_ID") for e in from_host)
        limit = os.path.join(folder, "cgroup-limit")   # its program ran in a memory cgroup
        limit = open(limit).read().strip() if os.path.exists(limit) else None
        limited += limit is not None and int(limit) < 4 << 30
        for entry, kind in zip(from_host, kinds):   # the host ran them in this order
            why += ["%s %s: %s" % (name, kind, w) for w in check_fields(kind_of([kind]), entry, os_name(), limit)]
            screen = os.path.join(folder, "screen" + kind.replace("/", "_").replace(":", "_"))
            if os.path.exists(screen):   # the kinds whose text stays the same from run to run
                text = open(screen, "rb").read()
                if first(entry, "MESSAGE") != title + b"\n\n" + text[:-1]:
                    why.append("%s %s: MESSAGE is not the report" % (name, kind))
    if len(hosts) > 1 and not limited:
        why.append("no host's program ran in a memory cgroup below 4 GiB: the memory queries would tell nothing")
    # The 32-bit machine's entry, as it was written.
    at_home[HOST_32_BIT] = ours(parse_export(open(args[7], "rb").read()))
    from_32_bit = [e for e in ours(central) if first(e, "_HOSTNAME") == HOST_32_BIT.encode()]
    if len(at_home[HOST_32_BIT]) != 1 or [kept(e) for e in from_32_bit] != [kept(e) for e in at_home[HOST_32_BIT]] \
            or [(k, first(from_32_bit[0], k)) for k, _ in ENTRY_32_BIT] != ENTRY_32_BIT:
        why.append("%s: %d entries collected, not the one it wrote" % (HOST_32_BIT, len(from_32_bit)))
    machine_ids.update(first(e, "_MACHINE_ID") for e in from_32_bit)
    # The upload cut off in a report: the entries sent whole before it, and nothing of that one.
    sent = parse_export(open(args[5], "rb").read())[:-1]
    from_cut = [e for e in central if first(e, "_HOSTNAME") == cut_name.encode()]
    if not sent or [kept(e) for e in from_cut] != [kept(e) for e in sent]:
        why.append("%s: %d entries collected; %d were sent whole before its connection dropped" %
                   (cut_name, len(from_cut), len(sent)))
    strangers = {first(e, "_HOSTNAME") for e in central} - {n.encode() for n in [cut_name, HOST_32_BIT]} - \
        {n.encode() for n, _, _ in hosts}
    if strangers:
        why.append("entries of hosts that must have been refused: %s" % sorted(strangers))
    if len(machine_ids) != len(hosts) + 1:
        why.append("%d machine IDs among %d hosts" % (len(machine_ids), len(hosts) + 1))
    if len(by_id) != len(hosts) * len(kinds) + 1 or ours(by_id) != by_id:
        why.append("MESSAGE_ID query found %d entries (%d of OrbelleC), expected %d" %
                   (len(by_id), len(ours(by_id)), len(hosts) * len(kinds) + 1))
    why += check_queries(doc, central_dir, at_home, len(kinds))
    copies = len(central) - len({tuple(first(e, k) for k in ("_MACHINE_ID", "_BOOT_ID", "__MONOTONIC_TIMESTAMP",
                                                             "__REALTIME_TIMESTAMP", "MESSAGE")) for e in central})
    if copies:
        why.append("%d entries are in the central journal twice" % copies)
    print(len(by_id), len(central), copies)
    for reason in why:
        print(reason, file=sys.stderr)
    sys.exit(1 if why else 0)
elif cmd == "uploads":         # ACCESS_LOG [NAME ADDRESS VERDICT]...: uploads taken, refused, cut off
    lines = [re.fullmatch(r'\S+ (\S+) (\d+) \d+ "(.*)" "(.*)"', l) for l in open(args[0]).read().splitlines()]
    why = ["not an upload's line: %r" % l for l, m in zip(open(args[0]), lines) if not m]
    for name, address, verdict in (args[i:i + 3] for i in range(1, len(args), 3)):
        mine = [m.groups()[1:] for m in lines if m and m.group(1) == address]
        status, subject, reason = mine[0] if len(mine) == 1 else ("", "", "")
        if len(mine) != 1:
            why.append("%s: %d uploads logged, expected 1" % (name, len(mine)))
        elif verdict == "SUCCESS" and not (status.startswith("2") and reason == verdict and subject == "CN=" + name):
            why.append("%s: upload not taken: %s %s %s" % (name, status, subject, reason))
        elif verdict == "cut" and not (status == "400" and reason == "SUCCESS" and subject == "CN=" + name):
            why.append("%s: the upload cut off was logged %s %s %s" % (name, status, subject, reason))
        elif verdict not in ("SUCCESS", "cut") and not (status == "400" and verdict in reason):
            why.append("%s: upload answered %s, %r; expected 400 and %r" % (name, status, reason, verdict))
    outcomes = [m.group(2)[0] + str(m.group(4) == "SUCCESS") for m in lines if m]
    print(outcomes.count("2True"), outcomes.count("4False"), outcomes.count("4True"))
    for reason in why:
        print(reason, file=sys.stderr)
    sys.exit(1 if why else 0)
elif cmd == "cut":             # ADDRESS PORT CERTS NAME EXPORT: an upload that drops in its first report
    data = open(args[4], "rb").read()
    at = data.index(b"\nSYSLOG_IDENTIFIER=OrbelleC\n") + 12
    tls = ssl.create_default_context(cafile=os.path.join(args[2], "ca.pem"))
    tls.load_cert_chain(os.path.join(args[2], args[3] + ".pem"), os.path.join(args[2], args[3] + ".key"))
    with tls.wrap_socket(socket.create_connection((args[0], int(args[1]))), server_hostname=args[0]) as tcp:
        tcp.sendall(b"POST /upload HTTP/1.1\r\nHost: %s\r\nContent-Type: application/vnd.fdo.journal\r\n"
                    b"Transfer-Encoding: chunked\r\n\r\n%x\r\n%s" % (args[0].encode(), len(data), data[:at]))
        time.sleep(1)   # what was sent reaches the collector; then the connection drops
    sys.stdout.buffer.write(data[:at])
elif cmd == "send-32-bit":     # into this host's journal
    datagram = b"".join(k.encode() + b"\n" + len(v).to_bytes(8, "little") + v + b"\n" for k, v in ENTRY_32_BIT)
    socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM).sendto(datagram, "/run/systemd/journal/socket")
elif cmd == "stale":           # SOCKET_PATH: bind, exit without unlinking
    socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM).bind(args[0])
    try:                       # check: nobody listens any more
        socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM).connect(args[0])
        sys.exit("socket is not stale: connect() succeeded")
    except ConnectionRefusedError:
        pass
elif cmd == "full":            # SOCKET_PATH SECONDS: a journal that takes nothing
    listener = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    listener.bind(args[0])
    sender = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    sender.setblocking(False)
    sender.connect(args[0])
    try:                       # fill its queue, then never read it
        while True:
            sender.send(b"MESSAGE=filler\n")
    except BlockingIOError:
        pass
    print("full", flush=True)
    time.sleep(float(args[1]))
