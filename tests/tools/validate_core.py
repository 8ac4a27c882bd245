#!/usr/bin/env python3
"""Checks the core's files of agent homes against res/schema/.

validate_core.py SCHEMA_DIR HOME... : every line of HOME/core/reports.jsonl
and HOME/core/alarms.jsonl must be one JSON object that its schema takes,
with a time that parses and this machine's host name. Prints what it
checked; exits 1 on the first fault, naming file and line.
"""
import datetime
import json
import socket
import sys

import jsonschema


def main():
    schema_dir, homes = sys.argv[1], sys.argv[2:]
    validators = {}
    for name in ("reports", "alarms"):
        with open(f"{schema_dir}/{name}.schema.json", encoding="utf-8") as f:
            schema = json.load(f)
        jsonschema.Draft202012Validator.check_schema(schema)
        validators[name] = jsonschema.Draft202012Validator(schema)
    host = socket.gethostname()
    counts = {"reports": 0, "alarms": 0}
    for home in homes:
        for name, validator in validators.items():
            path = f"{home}/core/{name}.jsonl"
            try:
                with open(path, encoding="utf-8") as f:
                    lines = f.read().splitlines()
            except FileNotFoundError:
                continue
            for number, line in enumerate(lines, 1):
                where = f"{path}:{number}"
                try:
                    entry = json.loads(line)
                    validator.validate(entry)
                    datetime.datetime.fromisoformat(entry["time"])
                except (ValueError, jsonschema.ValidationError) as fault:
                    sys.exit(f"{where}: {fault}")
                if entry["host"] != host:
                    sys.exit(f"{where}: host {entry['host']!r}, not {host!r}")
                counts[name] += 1
    print(f"valid: {counts['reports']} report lines, {counts['alarms']} alarm lines")


if __name__ == "__main__":
    main()
