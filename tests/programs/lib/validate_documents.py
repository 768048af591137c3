#!/usr/bin/python3
"""Validates every result and history document found under the given folders against the
schemas in docs/. A result document is a JSON object with "exit_meaning"; a history is a file
named history.json. Fails when one does not validate, or when fewer were found than asked for
(a check that found nothing checked nothing)."""
import argparse
import json
import os
import sys

import jsonschema


def documents(roots):
    for root in roots:
        for folder, _, names in os.walk(root):
            for name in names:
                if name.endswith(".json"):
                    yield os.path.join(folder, name)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--schemas", required=True)
    p.add_argument("--min-results", type=int, default=1)
    p.add_argument("--min-histories", type=int, default=0)
    p.add_argument("roots", nargs="+")
    a = p.parse_args()
    schemas = {}
    for kind in ("result", "history"):
        with open(os.path.join(a.schemas, kind + ".schema.json"), encoding="utf-8") as f:
            schema = json.load(f)
        jsonschema.Draft202012Validator.check_schema(schema)
        schemas[kind] = jsonschema.Draft202012Validator(schema)
    counts = {"result": 0, "history": 0}
    bad = 0
    for path in documents(a.roots):
        name = os.path.basename(path)
        try:
            with open(path, encoding="utf-8") as f:
                doc = json.load(f)
        except (OSError, ValueError):
            continue  # not a document of ours (a machine file half written, a damaged history kept aside)
        if name == "history.json" or name.startswith("history-"):
            kind = "history"
            # A newer program's history is left alone by this one, and is not this schema's.
            newest = schemas["history"].schema["properties"]["schema"].get("const", 1)
            if isinstance(doc, dict) and isinstance(doc.get("schema"), int) and doc["schema"] > newest:
                continue
        elif isinstance(doc, dict) and "exit_meaning" in doc:
            kind = "result"
        else:
            continue
        counts[kind] += 1
        errors = sorted(schemas[kind].iter_errors(doc), key=lambda e: list(e.path))
        for e in errors[:5]:
            bad += 1
            where = "/".join(str(x) for x in e.path)
            print(f"INVALID {kind} {path}: {where}: {e.message}")
    print(f"validated {counts['result']} result and {counts['history']} history documents, {bad} errors")
    if counts["result"] < a.min_results or counts["history"] < a.min_histories:
        print(f"too few documents: wanted at least {a.min_results} results and {a.min_histories} histories")
        return 1
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
