#!/usr/bin/python3
# Checks a JSON report against the text report of the same exchange, or of one like it:
#   report_check.py SCHEMA TEXT JSON TOLERANCE
# The JSON must be one object on one line of ASCII, parsed strictly (no duplicate member, no NaN
# or infinity) and valid against the schema (draft 2020-12); and every line of the text must say
# what a member says: numbers as far as the text prints them, or to TOLERANCE seconds (another
# exchange: its times, and its random Originate Timestamp, differ), errors in order. Prints what
# differs.
import decimal
import json
import re
import sys

import jsonschema

schema_file, text_file, json_file, tolerance = *sys.argv[1:4], float(sys.argv[4])
problems = []


def unique(pairs):  # strictly: no member twice
    return dict(pairs) if len(dict(pairs)) == len(pairs) else problems.append(f"twice: {pairs}")


raw = open(json_file, "rb").read().rstrip(b"\n")
if b"\n" in raw or not raw.isascii():
    problems.append("not one line of ASCII")
report = json.loads(raw, object_pairs_hook=unique, parse_constant=problems.append)
validator = jsonschema.Draft202012Validator(json.load(open(schema_file)))
problems += [f"schema: {e.json_path}: {e.message}" for e in validator.iter_errors(report)]


def plain(text):  # in another exchange, the times in a text differ
    return re.sub(r"\d\d:\d\d:\d\d", "hh:mm:ss", str(text)) if tolerance else str(text)


def same(path, text, scale=1):
    value = report
    for name in path.split("."):
        value = value[int(name)] if isinstance(value, list) else value.get(name, "(absent)")
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        ok = plain(value) == plain(text)
    else:  # as far as the text prints it: half a unit of its last digit
        last = 10.0 ** decimal.Decimal(text).as_tuple().exponent / 2
        within = tolerance if path.endswith(".ntp") else min(tolerance, 0.5)  # times, offsets
        ok = abs(value * scale - float(text)) <= max(within * scale, last)
    if not ok:
        problems.append(f"{path} is {value!r}, the text says {text}")


fields, errors = [], []
LINES = {  # a line of the text, and the members that say it: a path a group, or what to do
    r"Server Name = .*, Port = (\d+)": ["server.port"],
    r"NTS-KE (NTP )?Server = (\S+), Port = (\d+)": lambda m: [
        same(f"nts_ke.{'ntp_' if m[1] else ''}server.{name}", m[i])
        for i, name in ((2, "address"), (3, "port"))],
    r"NTS-KE TLS = (\S+), (\S+)": ["nts_ke.tls.version", "nts_ke.tls.cipher"],
    r"NTS-KE Certificate = (.*)": ["nts_ke.certificate.subject"],
    r"NTS-KE Certificate Dates = to be checked at the server's time \((.*)\)":
        ["nts_ke.certificate.why"],
    r"NTS-KE Next Protocol = (\d+) .*": ["nts_ke.next_protocol.id"],
    r"NTS-KE AEAD Algorithm = (\d+) .*": ["nts_ke.aead.id"],
    r"NTS-KE Cookies = (\d+)": ["nts_ke.cookies"],
    r" Leap Indicator \(LI\): (\d+)": ["reply.leap"],
    r" Version Number \(VN\): (\d+)": ["reply.version"],
    r" +Mode: (\d+)": ["reply.mode"],
    r" +Stratum: (\d+)": ["reply.stratum"],
    r" +Poll Interval: +(-?\d+) \((\S+) sec\)": ["reply.poll.exponent", "reply.poll.seconds"],
    r" +Precision: +(-?\d+) \((\S+) sec\)": ["reply.precision.exponent",
                                              "reply.precision.seconds"],
    r" +Root (Delay|Dispersion): (\S+) \(m sec\)":
        lambda m: same(f"reply.root_{m[1].lower()}", m[2], 1000),
    r"Reference Identifier: (.*)": ["reply.reference_id.text"],
    r" (\w+) +Timestamp: (\S+)": lambda m: tolerance and m[1] == "Originate" or
        same(f"reply.{m[1].lower()}_time.ntp", m[2]),
    r" T(\d) = (\S+), .*": lambda m: same(f"exchange.t{m[1]}.ntp", m[2]),
    r"Roundtrip Delay += (\S+) \(sec\)": ["exchange.delay"],
    r"Local Clock Offset = (\S+) \(sec\)": ["exchange.offset"],
    r"NTS Extension Field = 0x(\w+) \(.*\), Length = (\d+)": fields.append,
    r"NTS Authenticator = (verified)": lambda m: same("nts.verified", "True"),
    r"NTS Authenticator = NOT verified \((.*)\)": ["nts.reason"],
    r"NTS Certificate Dates = valid at the server's time (\S+) (\S+) UTC":
        lambda m: same("nts.certificate_dates_valid_at", f"{m[1]}T{m[2]}.000000000Z"),
    r"## INFO\. ## Adjusted Local Time\.": lambda m: same("step.done", "True"),
    r"## Error ##: (.*)": lambda m: errors.append(m[1]),
    r"System   Time = .*": lambda m: "local_time" in report or problems.append("no local_time"),
    r"Standard Time = .*|": lambda m: None,
}
for line in open(text_file, encoding="utf-8", errors="replace").read().splitlines():
    found = next(((p, say) for p, say in LINES.items() if re.fullmatch(p, line)), None)
    if found is None:
        problems.append(f"no member says {line!r}")
    elif callable(found[1]):
        found[1](re.fullmatch(found[0], line))
    else:
        for path, said in zip(found[1], re.fullmatch(found[0], line).groups()):
            same(path, said)
for i, field in enumerate(fields):
    same(f"reply.extension_fields.{i}.type", str(int(field[1], 16)))
    same(f"reply.extension_fields.{i}.length", field[2])
if list(map(plain, errors)) != list(map(plain, report.get("errors", []))):
    problems.append(f"errors {report.get('errors')}, the text says {errors}")
print("\n".join(problems))
sys.exit(1 if problems else 0)
