#!/usr/bin/env python3
"""Checks Windows programs for the hardening that Microsoft's BinSkim and
fleet security policies expect, reading the PE headers itself:

  - ASLR: DYNAMIC_BASE set and relocations kept, so the loader can move the
    image; on 64-bit images HIGH_ENTROPY_VA too;
  - NX_COMPAT (DEP);
  - no section both writable and executable;
  - a valid PE checksum (the CheckSumMappedFile sum; over the signature too,
    so a signed file must carry the sum its signer recomputed);
  - only KnownDLLs imported, directly or delay-loaded: Windows maps those from
    System32 whatever the search order, so a DLL planted in the program's
    folder (a download folder, a share) is never loaded in their place. Any
    other DLL needs a reason in ALLOWED_WITH_REASON below.

Usage: scripts/pe-hardening-check.py PROGRAM...
Prints one line per broken rule, then one summary line per program; exits
with 1 when a rule is broken in any of them, 2 when a file is no PE image.
"""
import struct
import sys

# HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs of
# Windows 10 and 11 (without the WOW64 and ARM emulation entries, which a
# 64-bit x86 program never names).
KNOWN_DLLS = {
    "advapi32.dll", "clbcatq.dll", "combase.dll", "comdlg32.dll", "coml2.dll", "difxapi.dll",
    "gdi32.dll", "gdiplus.dll", "imagehlp.dll", "imm32.dll", "kernel32.dll", "msctf.dll",
    "msvcrt.dll", "normaliz.dll", "nsi.dll", "ole32.dll", "oleaut32.dll", "psapi.dll",
    "rpcrt4.dll", "sechost.dll", "setupapi.dll", "shcore.dll", "shell32.dll", "shlwapi.dll",
    "user32.dll", "wldap32.dll", "ws2_32.dll",
}

# DLLs outside that list that are still never searched for in the program's
# folder, each with the reason.
ALLOWED_WITH_REASON = {
    "ntdll.dll": "mapped into every process by the kernel before any import is resolved",
}
# API set names are resolved by the loader's schema to System32 DLLs, never
# searched for as files.
API_SET_PREFIXES = ("api-ms-win-", "ext-ms-win-")

IMAGE_FILE_RELOCS_STRIPPED = 0x0001
IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA = 0x0020
IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE = 0x0040
IMAGE_DLLCHARACTERISTICS_NX_COMPAT = 0x0100
IMAGE_SCN_MEM_EXECUTE = 0x20000000
IMAGE_SCN_MEM_WRITE = 0x80000000
PE32_MAGIC = 0x10B
PE32_PLUS_MAGIC = 0x20B
DIRECTORY_IMPORT = 1
DIRECTORY_BASERELOC = 5
DIRECTORY_DELAY_IMPORT = 13


class NotPe(Exception):
    pass


def pe_checksum(data, checksum_offset):
    """The sum CheckSumMappedFile computes: 16-bit words added with end-around
    carry, the checksum field counted as zero, plus the file length."""
    body = bytearray(data)
    body[checksum_offset:checksum_offset + 4] = b"\0\0\0\0"
    if len(body) % 2:
        body.append(0)
    total = sum(struct.unpack("<%dH" % (len(body) // 2), bytes(body)))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


class Image:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ" or len(data) < 0x40:
            raise NotPe("no MZ header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise NotPe("no PE signature")
        coff = pe + 4
        (_, sections, _, _, _, optional_size, self.characteristics) = struct.unpack_from("<HHIIIHH", data, coff)
        optional = coff + 20
        self.magic = struct.unpack_from("<H", data, optional)[0]
        if self.magic not in (PE32_MAGIC, PE32_PLUS_MAGIC):
            raise NotPe("unknown optional header magic 0x%X" % self.magic)
        self.checksum_offset = optional + 64
        self.checksum = struct.unpack_from("<I", data, self.checksum_offset)[0]
        self.dll_characteristics = struct.unpack_from("<H", data, optional + 70)[0]
        self.image_base = struct.unpack_from("<Q" if self.magic == PE32_PLUS_MAGIC else "<I", data, optional + 24)[0]
        directories = optional + (112 if self.magic == PE32_PLUS_MAGIC else 96)
        count = struct.unpack_from("<I", data, directories - 4)[0]
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(min(count, 16))]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            name, virtual_size, address, raw_size, raw_offset = struct.unpack_from("<8sIIII", data, table + 40 * i)
            flags = struct.unpack_from("<I", data, table + 40 * i + 36)[0]
            self.sections.append((name.rstrip(b"\0").decode("ascii", "replace"), address,
                                  max(virtual_size, raw_size), raw_offset, flags))

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def offset(self, rva):
        for _, address, size, raw_offset, _ in self.sections:
            if address <= rva < address + size:
                return raw_offset + rva - address
        raise NotPe("address 0x%X lies in no section" % rva)

    def text(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii", "replace")

    def imported_dlls(self):
        names = []
        address, size = self.directory(DIRECTORY_IMPORT)
        if address and size:
            entry = self.offset(address)
            while True:
                lookup, _, _, name, thunks = struct.unpack_from("<IIIII", self.data, entry)
                if not (lookup or name or thunks):
                    break
                names.append(self.text(name))
                entry += 20
        address, size = self.directory(DIRECTORY_DELAY_IMPORT)
        if address and size:
            entry = self.offset(address)
            while True:
                attributes, name = struct.unpack_from("<II", self.data, entry)
                if not name:
                    break
                # Attribute bit 0 clear: the old layout, with addresses in
                # place of RVAs.
                names.append(self.text(name if attributes & 1 else name - self.image_base))
                entry += 32
        return names


def broken_rules(image):
    broken = []
    flags = image.dll_characteristics
    if not flags & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE:
        broken.append("no ASLR: DllCharacteristics lacks DYNAMIC_BASE (0x0040)")
    if image.characteristics & IMAGE_FILE_RELOCS_STRIPPED or not image.directory(DIRECTORY_BASERELOC)[1]:
        broken.append("no ASLR: the relocations are stripped, the loader cannot move the image")
    if image.magic == PE32_PLUS_MAGIC and not flags & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA:
        broken.append("no high-entropy ASLR: DllCharacteristics lacks HIGH_ENTROPY_VA (0x0020)")
    if not flags & IMAGE_DLLCHARACTERISTICS_NX_COMPAT:
        broken.append("no DEP: DllCharacteristics lacks NX_COMPAT (0x0100)")
    for name, _, _, _, section_flags in image.sections:
        if section_flags & IMAGE_SCN_MEM_WRITE and section_flags & IMAGE_SCN_MEM_EXECUTE:
            broken.append("section %s is both writable and executable" % name)
    computed = pe_checksum(image.data, image.checksum_offset)
    if image.checksum != computed:
        broken.append("PE checksum 0x%08X, the file sums to 0x%08X" % (image.checksum, computed))
    for dll in image.imported_dlls():
        lower = dll.lower()
        if lower not in KNOWN_DLLS and lower not in ALLOWED_WITH_REASON and not lower.startswith(API_SET_PREFIXES):
            broken.append("imports %s, which is no KnownDLL: Windows may load it from the program's folder" % dll)
    return broken


def main(paths):
    if not paths:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    status = 0
    for path in paths:
        try:
            with open(path, "rb") as file:
                image = Image(file.read())
            broken = broken_rules(image)
            imports = ", ".join(image.imported_dlls())
        except (NotPe, struct.error, ValueError, OSError) as error:
            print("%s: not a PE image: %s" % (path, error))
            status = 2
            continue
        for rule in broken:
            print("%s: %s" % (path, rule))
        if broken:
            print("%s: %d hardening rule(s) broken" % (path, len(broken)))
            status = max(status, 1)
        else:
            print("%s: hardened: ASLR%s, NX, no writable code, PE checksum 0x%08X, imports %s"
                  % (path, " with high-entropy VA" if image.magic == PE32_PLUS_MAGIC else "", image.checksum, imports))
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
