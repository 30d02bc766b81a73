"""Helper of plant-faults.sh: copy the tree, apply and restore a fault.

A fault file (scripts/faults/NAME.fault) reads

    what: one line saying what goes wrong
    file: path/from/the/top.cpp
    old:
    text that must occur exactly once in the file
    new:
    the text that replaces it

The old and new texts may span lines; their last newline is not part of them.
"""
import os
import subprocess
import sys


def read_fault(path):
    fields, block, blocks = {}, None, {"old": [], "new": []}
    with open(path) as f:
        for line in f.read().splitlines():
            if block is None and line.startswith(("what:", "file:")):
                key, value = line.split(":", 1)
                fields[key] = value.strip()
            elif line in ("old:", "new:"):
                block = line[:-1]
            elif block:
                blocks[block].append(line)
    if "file" not in fields or not blocks["old"]:
        sys.exit(f"{path}: needs file:, old: and new:")
    return fields.get("what", "?"), fields["file"], "\n".join(blocks["old"]), "\n".join(blocks["new"])


def write_if_changed(path, data):
    # Unchanged files keep their time stamps, so the scratch build stays
    # incremental; a changed one gets a fresh stamp and is rebuilt.
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return
    except FileNotFoundError:
        os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def sync(top, dest):
    """Make dest a copy of the checkout's files (committed or not, not ignored)."""
    listed = subprocess.run(["git", "-C", top, "ls-files", "-z", "-co", "--exclude-standard"],
                            check=True, capture_output=True).stdout.decode().split("\0")
    keep = {p for p in listed if p and os.path.isfile(os.path.join(top, p))}
    for rel in keep:
        with open(os.path.join(top, rel), "rb") as f:
            write_if_changed(os.path.join(dest, rel), f.read())
    for dirpath, _, files in os.walk(dest):
        for name in files:
            rel = os.path.relpath(os.path.join(dirpath, name), dest)
            if rel not in keep:
                os.remove(os.path.join(dirpath, name))


def apply(fault, top, dest):
    """Plant the fault in dest; exit 1 (with the reason) if it does not apply."""
    _, rel, old, new = read_fault(fault)
    try:
        with open(os.path.join(top, rel)) as f:
            text = f.read()
    except FileNotFoundError:
        sys.exit(f"no file {rel}")
    count = text.count(old)
    if count != 1:
        sys.exit(f"old text found {count} times in {rel}")
    write_if_changed(os.path.join(dest, rel), text.replace(old, new).encode())


def restore(fault, top, dest):
    rel = read_fault(fault)[1]
    with open(os.path.join(top, rel), "rb") as f:
        write_if_changed(os.path.join(dest, rel), f.read())


if __name__ == "__main__":
    command, args = sys.argv[1], sys.argv[2:]
    if command == "what":
        print(read_fault(args[0])[0])
    else:
        {"sync": sync, "apply": apply, "restore": restore}[command](*args)
