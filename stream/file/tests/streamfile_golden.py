#!/usr/bin/env python3
"""Stream files built and read independently of the stream engine.

    streamfile_golden.py generate DIR   writes the golden files into DIR
    streamfile_golden.py dump FILE      prints a canonical description of FILE

The files are assembled byte by byte with struct from the container layout:
big-endian lengths and values, 8-byte chunk headers inside "FORM" and 12-byte
headers at every depth inside "FO64", text chunks of odd length followed by one
pad byte 0, bulk chunks (DATA, POLL, EVNT) never padded.

dump checks the layout strictly (container length, every child inside its
parent, pad bytes of texts, value widths) and exits with status 1 and a
message on the first violation.
"""
import os
import struct
import sys

LISTS = {"CONF", "CHNS", "CHAN", "PRCS", "POCS"}
BULK = {"DATA", "POLL", "EVNT"}
TEXTS = {"NAME", "EU  ", "CVTP", "TCRF", "MCAL"}
DOUBLES = {"PREC", "POSC", "CLKR", "CPV ", "ZO  ", "TARE", "SCAL", "GFAC"}


# ---- writing ------------------------------------------------------------------

def header(cid, length, wide):
    assert len(cid) == 4
    return cid.encode("ascii") + (struct.pack(">Q", length) if wide else struct.pack(">I", length))


def chunk(cid, body, wide):
    """A chunk whose body came from a configuration writer: padded when odd."""
    out = header(cid, len(body), wide) + body
    if len(body) % 2:
        out += b"\0"
    return out


def bulk(cid, body, wide):
    return header(cid, len(body), wide) + body


def text(cid, s, wide):
    return chunk(cid, s.encode("ascii"), wide)


def f64(cid, v, wide):
    return chunk(cid, struct.pack(">d", v), wide)


def i32(cid, v, wide):
    return chunk(cid, struct.pack(">i", v), wide)


def i64(cid, v, wide):
    return chunk(cid, struct.pack(">q", v), wide)


def u16(cid, v, wide):
    return chunk(cid, struct.pack(">H", v), wide)


def strm_channel(name, eu, kind, prec, posc, wide, extra=b""):
    body = text("NAME", name, wide) + text("EU  ", eu, wide) + extra + u16("XFRM", kind, wide)
    body += chunk("PRCS", b"".join(f64("PREC", c, wide) for c in prec), wide)
    body += chunk("POCS", b"".join(f64("POSC", c, wide) for c in posc), wide)
    return chunk("CHAN", body, wide)


def strm_conf(channels, rate, deci, time, scpp, wide, extra=b""):
    body = chunk("CHNS", b"".join(channels), wide)
    body += f64("CLKR", rate, wide) + i32("DECI", deci, wide) + extra
    body += i64("TIME", time, wide) + i32("SCPP", scpp, wide)
    return chunk("CONF", body, wide)


def container(form_type, chunks, wide):
    body = form_type.encode("ascii") + b"".join(chunks)
    if wide:
        return b"FO64" + struct.pack(">Q", len(body)) + body
    return b"FORM" + struct.pack(">I", len(body)) + body


def golden_files():
    files = {}
    # STRM: odd texts with pad bytes, an empty POCS, an odd DATA chunk followed
    # directly by an odd EVNT chunk.
    ch1 = strm_channel("Ch1", "V", 1, [0.5, 2.0], [], False)
    ch2 = strm_channel("Event1", "binary", 13, [3.0], [], False)
    files["strm_odd.stm"] = container("STRM", [
        strm_conf([ch1, ch2], 1000.0, 3, 1700000000, 0, False),
        bulk("DATA", bytes(range(1, 10)), False),
        bulk("EVNT", b"\xaa\xbb\xcc", False),
    ], False)
    # STRM: no channels, empty DATA, an unknown chunk of odd length in CONF
    # and one inside a channel.
    ch = strm_channel("Lone", "hz", 7, [], [], False, extra=text("XTRA", "abc", False))
    files["strm_empty.stm"] = container("STRM", [
        strm_conf([], 250.0, 1, -5, 16, False, extra=text("XTRA", "hello", False)),
        bulk("DATA", b"", False),
    ], False)
    files["strm_unknown.stm"] = container("STRM", [
        strm_conf([ch], 10.0, 1, 0, 0, False),
        bulk("DATA", b"\x01\x02", False),
    ], False)
    # ST64: 12-byte headers everywhere, sensor coefficients, DATA and POLL.
    ch = strm_channel("Bridge7", "ustrain", 4, [0.0, 1.0, 0.25], [1e-3, -2.5], True)
    files["st64.stm"] = container("ST64", [
        strm_conf([ch], 5000.0, 2, 1234567890123, 8, True),
        bulk("DATA", bytes(range(16)), True),
        bulk("POLL", b"\x10\x20\x30\x40", True),
    ], True)
    # ACQD: two channels of 16-bit samples.
    def acqd_channel(name, cvtp, eu, tcrf, mcal, cpv, zo, tare, scal, gfac):
        body = (text("NAME", name, False) + text("CVTP", cvtp, False) + text("EU  ", eu, False)
                + text("TCRF", tcrf, False) + text("MCAL", mcal, False) + f64("CPV ", cpv, False)
                + f64("ZO  ", zo, False) + f64("TARE", tare, False) + f64("SCAL", scal, False)
                + f64("GFAC", gfac, False))
        return chunk("CHAN", body, False)
    conf = chunk("CONF", chunk("CHNS", acqd_channel("in0", "volts", "V", "", "", 3276.8, 2.0, 0.0, 1.0, 2.0)
                                + acqd_channel("strain1", "bridge", "ue", "none", "cal7", 100.0, -1.5, 0.5, 3.0, 2.1),
                                False)
                     + f64("CLKR", 200.0, False) + i64("TIME", 1600000000, False), False)
    scans = struct.pack("<6H", 1, 2, 3, 4, 65535, 32768)
    files["acqd.stm"] = container("ACQD", [conf, bulk("DATA", scans, False)], False)

    # Files the parser must refuse, and one it must still accept.
    good = strm_conf([strm_channel("A", "V", 1, [1.0], [], False)], 100.0, 1, 0, 0, False)
    files["bad_formtype.stm"] = container("ABCD", [good], False)
    files["bad_container.stm"] = b"RIFF" + files["strm_odd.stm"][4:]
    files["bad_st64_in_form.stm"] = container("ST64", [good], False)
    files["bad_channels129.stm"] = container("STRM", [strm_conf(
        [strm_channel("C%d" % i, "V", 1, [], [], False) for i in range(129)], 1.0, 1, 0, 0, False)], False)
    files["ok_channels128.stm"] = container("STRM", [strm_conf(
        [strm_channel("C%d" % i, "V", 1, [], [], False) for i in range(128)], 1.0, 1, 0, 0, False)], False)
    files["bad_longname.stm"] = container("STRM", [strm_conf(
        [strm_channel("n" * 64, "V", 1, [], [], False)], 1.0, 1, 0, 0, False)], False)
    files["ok_name63.stm"] = container("STRM", [strm_conf(
        [strm_channel("n" * 63, "V", 1, [], [], False)], 1.0, 1, 0, 0, False)], False)
    bad_xfrm = chunk("CHAN", text("NAME", "A", False) + chunk("XFRM", struct.pack(">I", 1), False), False)
    files["bad_xfrm_width.stm"] = container("STRM", [strm_conf([bad_xfrm], 1.0, 1, 0, 0, False)], False)
    whole = files["strm_odd.stm"]
    files["bad_truncated_conf.stm"] = whole[:60]
    files["ok_truncated_bulk.stm"] = whole[:-1]  # inside the last bulk chunk (EVNT)
    long_form = bytearray(whole)
    long_form[4:8] = struct.pack(">I", len(whole) - 8 + 2)
    files["bad_container_length.stm"] = bytes(long_form)
    return files


# ---- reading ------------------------------------------------------------------

class Bad(Exception):
    pass


def read_children(data, start, end, wide, path, out):
    hsize = 12 if wide else 8
    pos = start
    while pos < end:
        if pos + hsize > end:
            raise Bad("%s: chunk header at %d runs past its parent" % (path, pos))
        cid = data[pos:pos + 4].decode("latin-1")
        length = struct.unpack(">Q" if wide else ">I", data[pos + 4:pos + hsize])[0]
        body = pos + hsize
        if cid in BULK:
            # Bulk bodies are never padded.
            if body + length > end:
                raise Bad("%s/%s: body of %d bytes runs past its parent" % (path, cid, length))
            out.append((path + "/" + cid, data[body:body + length], length, body))
            pos = body + length
            continue
        if body + length > end:
            raise Bad("%s/%s: body of %d bytes runs past its parent" % (path, cid, length))
        payload = data[body:body + length]
        pos = body + length
        if length % 2:
            if cid in LISTS:
                raise Bad("%s/%s: list chunk of odd length" % (path, cid))
            if pos >= end or data[pos] != 0:
                raise Bad("%s/%s: odd chunk without pad byte 0" % (path, cid))
            pos += 1
        if cid in LISTS:
            node = []
            read_children(data, body, body + length, wide, path + "/" + cid, node)
            out.append((path + "/" + cid, node, length, body))
        else:
            out.append((path + "/" + cid, payload, length, body))
    if pos != end:
        raise Bad("%s: children end at %d, parent at %d" % (path, pos, end))


def value(cid, payload):
    if cid in DOUBLES:
        if len(payload) != 8:
            raise Bad("%s: %d bytes for a double" % (cid, len(payload)))
        return "%.17g" % struct.unpack(">d", payload)[0]
    if cid in TEXTS:
        return "'%s'" % payload.decode("latin-1")
    widths = {"XFRM": ">H", "DECI": ">i", "SCPP": ">i", "TIME": ">q"}
    if cid in widths:
        fmt = widths[cid]
        if len(payload) != struct.calcsize(fmt):
            raise Bad("%s: %d bytes" % (cid, len(payload)))
        return "%d" % struct.unpack(fmt, payload)[0]
    return "?" + payload.hex()


def dump_nodes(nodes, indent, lines):
    for path, payload, length, offset in nodes:
        cid = path.rsplit("/", 1)[-1]
        if isinstance(payload, list):
            lines.append("%s%s" % (indent, cid))
            dump_nodes(payload, indent + "  ", lines)
        elif cid in BULK:
            lines.append("%s%s length %d at %d %s" % (indent, cid, length, offset, payload.hex()))
        else:
            lines.append("%s%s %s" % (indent, cid, value(cid, payload)))


def dump(path):
    data = open(path, "rb").read()
    kind = data[0:4]
    if kind == b"FORM":
        wide, hsize = False, 8
        length = struct.unpack(">I", data[4:8])[0]
    elif kind == b"FO64":
        wide, hsize = True, 12
        length = struct.unpack(">Q", data[4:12])[0]
    else:
        raise Bad("not a stream file: %r" % kind)
    if hsize + length != len(data):
        raise Bad("container length %d, file of %d bytes" % (length, len(data)))
    form = data[hsize:hsize + 4].decode("latin-1")
    nodes = []
    read_children(data, hsize + 4, hsize + length, wide, "", nodes)
    lines = ["%s %s" % (kind.decode(), form)]
    dump_nodes(nodes, "", lines)
    return "\n".join(lines) + "\n"


def main(argv):
    if len(argv) == 3 and argv[1] == "generate":
        os.makedirs(argv[2], exist_ok=True)
        for name, content in golden_files().items():
            with open(os.path.join(argv[2], name), "wb") as f:
                f.write(content)
        return 0
    if len(argv) == 3 and argv[1] == "dump":
        try:
            sys.stdout.write(dump(argv[2]))
        except Bad as e:
            sys.stdout.write("BAD %s\n" % e)
            return 1
        return 0
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
