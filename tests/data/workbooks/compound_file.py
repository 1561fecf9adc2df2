"""Writes OLE2 compound files by hand, to show what common producers rarely
write: chains that run backwards, more FAT sectors than the header lists,
4096-byte sectors, a directory over several sectors, a fragmented mini stream,
and damage of each kind. bench/memory.sh writes its large .xls files with it."""
import struct

END, FREE, FAT_SECTOR, EXTENSION_SECTOR, NONE = 0xFFFFFFFE, 0xFFFFFFFF, 0xFFFFFFFD, 0xFFFFFFFC, 0xFFFFFFFF
CUTOFF, MINI = 4096, 64
RIGHT, CHILD, START, SIZE = 4, 5, 6, 7  # fields of a directory entry below


def entry(name, kind, size=0):
    raw = (name + "\0").encode("utf-16-le") if name else b""
    return [raw.ljust(64, b"\0"), len(raw), kind, NONE, NONE, NONE, END, size]


def last_sector(fat, sector):
    while fat[sector] != END:
        sector = fat[sector]
    return sector


def compound_file(streams, shift=9, backwards=(), fat_sectors=1, tweak=None):
    """The bytes of a compound file holding `streams` (name -> bytes) in its root
    storage, in that order as a chain of right siblings. Blocks named in
    `backwards` (streams, "Root Entry" for the mini stream, "directory") take
    their sectors last to first. The FAT takes at least `fat_sectors` sectors
    (beyond 109, extension sectors list them). tweak(fat, entries) may damage
    the tables."""
    size = 1 << shift
    entries, mini, mini_fat, blocks = [entry("Root Entry", 5)], b"", [], []
    for name, data in streams.items():
        entries.append(entry(name, 2, len(data)))
        if len(data) >= CUTOFF:
            blocks.append([name, data, entries[-1]])
        elif data:
            first, count = len(mini) // MINI, -(-len(data) // MINI)
            entries[-1][START] = first
            mini_fat += list(range(first + 1, first + count)) + [END]
            mini += data.ljust(count * MINI, b"\0")
    for i in range(1, len(entries)):
        entries[i - 1][CHILD if i == 1 else RIGHT] = i
    if mini:
        entries[0][SIZE] = len(mini)
        blocks.append(["Root Entry", mini, entries[0]])
    entries += [entry("", 0) for _ in range(-len(entries) % (size // 128))]
    blocks += [["minifat", struct.pack(f"<{len(mini_fat)}I", *mini_fat), None],
               ["directory", bytes(len(entries) * 128), None]]

    # Sectors: the blocks in order, then the FAT, then its extension sectors.
    used = sum(-(-len(data) // size) for _, data, _ in blocks)
    while True:
        extensions = -(-max(0, fat_sectors - 109) // (size // 4 - 1))
        needed = -(-(used + fat_sectors + extensions) // (size // 4))
        if needed <= fat_sectors:
            break
        fat_sectors = needed
    fat, at = [FREE] * (fat_sectors * size // 4), 0
    for block in blocks:
        count = -(-len(block[1]) // size)
        sectors = list(range(at, at + count))[::-1 if block[0] in backwards else 1]
        for here, there in zip(sectors, sectors[1:] + [END]):
            fat[here] = there
        block.append(sectors)
        if block[2]:
            block[2][START] = sectors[0]
        at += count
    fat_list = list(range(at, at + fat_sectors))
    extension_list = list(range(at + fat_sectors, at + fat_sectors + extensions))
    fat[at:at + fat_sectors + extensions] = [FAT_SECTOR] * fat_sectors + [EXTENSION_SECTOR] * extensions
    if tweak:
        tweak(fat, entries)
    blocks[-1][1] = b"".join(struct.pack("<64sHBBIII16sIQQIQ", *e[:3], 1, *e[3:6], bytes(16), 0, 0, 0, *e[6:])
                             for e in entries)

    image, extension_bytes = bytearray(at * size), b""
    for name, data, _, sectors in blocks:
        for k, sector in enumerate(sectors if name in backwards else sectors[:1]):
            piece = data[k * size:(k + 1) * size] if name in backwards else data
            image[sector * size:sector * size + len(piece)] = piece
    per = size // 4 - 1  # FAT sector numbers per extension sector, which ends in the next one's number
    for k, sector in enumerate(extension_list):
        listed = fat_list[109 + k * per:109 + (k + 1) * per] + [FREE] * per
        following = extension_list[k + 1] if k + 1 < len(extension_list) else END
        extension_bytes += struct.pack(f"<{per + 1}I", *listed[:per], following)
    directory, minifat = blocks[-1][3], blocks[-2][3]
    header = struct.pack("<8s16sHHHHH6sIIIIIIIII109I", b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", bytes(16), 0x3E,
                         3 if shift == 9 else 4, 0xFFFE, shift, 6, bytes(6), len(directory) if shift == 12 else 0,
                         fat_sectors, directory[0], 0, CUTOFF, minifat[0] if minifat else END, len(minifat),
                         extension_list[0] if extension_list else END, extensions,
                         *(fat_list[:109] + [FREE] * (109 - len(fat_list[:109]))))
    return header.ljust(size, b"\0") + bytes(image) + struct.pack(f"<{len(fat)}I", *fat) + extension_bytes
