#!/usr/bin/env python3
"""Prints the session start events in upload bodies the stand-in kept, each decoded by protoc
against sessions/proto/sessions.proto.

    scripts/session_events.py http://127.0.0.1:PORT

Reads the stand-in's record of uploads for target 1001 (/admin/upload/bodies), fetches each body,
takes the payloads of log source 2102 off the wire and hands each one to `protoc --decode`. The auth
token is shown only as present.
"""
import json
import os
import re
import subprocess
import sys
import urllib.request

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def varint(data, pos):
    value, shift = 0, 0
    while True:
        byte = data[pos]
        pos += 1
        value |= (byte & 0x7F) << shift
        if not byte & 0x80:
            return value, pos
        shift += 7


def fields(data):
    """(number, value) for each field; value is an int for varints, bytes for length-delimited."""
    pos = 0
    while pos < len(data):
        key, pos = varint(data, pos)
        kind = key & 7
        if kind == 0:
            value, pos = varint(data, pos)
        elif kind == 2:
            length, pos = varint(data, pos)
            value, pos = data[pos:pos + length], pos + length
        elif kind in (1, 5):
            pos += 8 if kind == 1 else 4
            continue
        else:
            raise ValueError("unknown wire type %d" % kind)
        yield key >> 3, value


def session_payloads(body):
    for number, request in fields(body):
        if number != 1:
            continue
        parts = list(fields(request))
        if dict(parts).get(2) != 2102:
            continue
        for field, event in parts:
            if field == 3:
                for event_field, payload in fields(event):
                    if event_field == 6:
                        yield payload


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    base = sys.argv[1].rstrip("/")
    with urllib.request.urlopen(base + "/admin/upload/bodies?target=1001") as reply:
        records = json.load(reply)
    shown = 0
    for record in records:
        index = record.get("index")
        if index is None:
            continue
        with urllib.request.urlopen("%s/admin/upload/body?index=%d" % (base, index)) as reply:
            body = reply.read()
        for payload in session_payloads(body):
            decoded = subprocess.run(
                ["protoc", "--decode=tessera.apphealth.sessions.SessionEvent",
                 "-I", os.path.join(ROOT, "sessions", "proto"), "sessions.proto"],
                input=payload, capture_output=True, check=True).stdout.decode()
            # The auth token is a credential: shown only as present.
            decoded = re.sub(r'(tessera_authentication_token: )"[^"]+"', r'\1"<redacted>"', decoded)
            shown += 1
            print("Session start event %d (upload %d):" % (shown, index))
            print("".join("  " + line + "\n" for line in decoded.splitlines()), end="")
    if not shown:
        print("  none uploaded yet")


if __name__ == "__main__":
    main()
