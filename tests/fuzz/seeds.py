#!/usr/bin/python3
"""Converts between zip packages and the unpacked form the xlsx and ods fuzz
targets read: each member after a line "==> name <==".

  seeds.py unpack OUTDIR PACKAGE...   writes OUTDIR/<package>.unpacked for each package
  seeds.py pack INPUT OUTPUT          packs an unpacked input (e.g. a crash) into a
                                      zip package for tests/data/workbooks/fail/
"""
import pathlib
import re
import sys
import zipfile

HEADER = re.compile(rb"(?:^|\n)==> (.*?) <==\n", re.S)


def unpack(outdir, packages):
    out = pathlib.Path(outdir)
    for name in packages:
        path = pathlib.Path(name)
        try:
            package = zipfile.ZipFile(path)
            members = []
            for info in package.infolist():
                # Parts no reader looks at (pictures, document properties,
                # themes, ods styles and settings) only slow the fuzzer down.
                if info.is_dir() or not re.search(r"(\.xml|\.rels|mimetype)$", info.filename) \
                        or re.match(r"(docProps/|xl/theme/|styles\.xml|meta\.xml|settings\.xml)", info.filename):
                    continue
                members.append(b"==> " + info.filename.encode() + b" <==\n" + package.read(info))
        except (zipfile.BadZipFile, RuntimeError, NotImplementedError):
            continue  # damaged or encrypted: the raw file is a seed already
        if members:
            (out / (path.name + ".unpacked")).write_bytes(b"\n".join(members))


def pack(source, target):
    data = pathlib.Path(source).read_bytes()
    headers = list(HEADER.finditer(data))
    with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as package:
        for i, header in enumerate(headers):
            end = headers[i + 1].start() if i + 1 < len(headers) else len(data)
            package.writestr(header.group(1).decode("utf-8", "replace"), data[header.end():end])


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "unpack":
        unpack(sys.argv[2], sys.argv[3:])
    elif len(sys.argv) == 4 and sys.argv[1] == "pack":
        pack(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
