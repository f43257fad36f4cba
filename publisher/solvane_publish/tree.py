"""The published tree: versioned clips and stills, fixed aliases, fragments, the index written last, and the
removal of old versions once no index names them."""

import json
import os
import shutil

from . import log
from .fetch import read_json, write_atomic


def fixed_clip(pid):
    return "video/rhef_%s_1k.mp4" % pid


def fixed_still(pid):
    return "img/rhef_%s_1k.png" % pid


def versioned(pid, stem, extension):
    return "v/%s/%s.%s" % (pid, stem, extension)


def copy_atomic(source, path):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    part = "%s.%d.part" % (path, os.getpid())
    shutil.copyfile(source, part)
    os.chmod(part, 0o644)
    os.replace(part, path)


def read_index(out):
    index = read_json(os.path.join(out, "manifest", "index.json"))
    return index if isinstance(index, dict) and isinstance(index.get("products"), list) else None


def write_fragment(out, entry):
    write_atomic(os.path.join(out, "manifest", entry["id"] + ".json"),
                 json.dumps(entry, ensure_ascii=False, indent=1).encode())


def write_index(out, index):
    write_atomic(os.path.join(out, "manifest", "index.json"), json.dumps(index, ensure_ascii=False, indent=1).encode())


def clean_parts(out):
    """Removes what a killed run left half-written: no index names a ".part" file."""
    for folder, _, names in os.walk(out):
        for name in names:
            if name.endswith(".part"):
                os.unlink(os.path.join(folder, name))


def keep_dirs_readable(out):
    for folder, dirs, _ in os.walk(out):
        for d in dirs:
            os.chmod(os.path.join(folder, d), 0o755)
    os.chmod(out, 0o755)


def prune_versions(out, index, retention):
    """Keeps per product the `retention` newest versions and every version the index names."""
    named = set()
    for entry in index.get("products", []):
        named.update(entry.get(k) for k in ("video_v", "still_v"))
    top = os.path.join(out, "v")
    if not os.path.isdir(top):
        return
    for pid in os.listdir(top):
        folder = os.path.join(top, pid)
        stems = sorted({os.path.splitext(n)[0] for n in os.listdir(folder)}, reverse=True)
        for stem in stems[retention:]:
            for name in os.listdir(folder):
                if os.path.splitext(name)[0] == stem and "v/%s/%s" % (pid, name) not in named:
                    os.unlink(os.path.join(folder, name))
                    log.line("%s: removed old version %s" % (pid, name))
