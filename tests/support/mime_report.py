#!/usr/bin/python3
"""Prints, as JSON, what Python's email package makes of one raw message.

Usage: mime_report.py FILE   (or "-" for standard input)

The output object:
  headers         {lower-case name: [decoded value, ...]} in order of appearance;
                  encoded words (RFC 2047) decoded to Unicode, folding removed
                  (the parser rewrites a Date value in its own form)
  header_order    the header names as they appear
  addresses       {lower-case name: [{"display_name", "address"}, ...]} for the
                  address headers of the first occurrence
  date            the Date header as ISO 8601, or null when it does not parse
  content_type, boundary, is_multipart, preamble, defects
  structure       the tree of content types, each leaf's disposition and Content-ID
                  after ";": "multipart/mixed(text/plain,image/png;attachment)"
  header_defects  {lower-case name: [defect, ...]} for the headers the parser faulted
  repeated_headers  the lower-case names of headers that occur more than once
  parts           every leaf part in order: path ("1", "2.1", ...; "" for a
                  message that is not multipart, the only part), content_type, charset,
                  transfer_encoding, filename, content_id, disposition, sha256
                  and length of the decoded payload, text (decoded text parts,
                  line ends kept as CR LF), defects
  uuencoded       every "begin ... end" block found in the text parts: name,
                  mode, sha256, length, error (null when every line decoded)
"""

import binascii
import hashlib
import json
import sys
from email import policy
from email.parser import BytesParser

ADDRESS_HEADERS = ("from", "to", "cc", "bcc", "reply-to", "sender", "disposition-notification-to")


def digest(data):
    return {"sha256": hashlib.sha256(data).hexdigest(), "length": len(data)}


def defect_names(item):
    return [type(defect).__name__ for defect in item.defects]


def decoded_text(part):
    try:
        return part.get_content()
    except (LookupError, UnicodeError) as error:
        return f"(cannot decode: {error})"


def describe_leaf(part, path):
    payload = part.get_payload(decode=True) or b""
    transfer_encoding = part.get("Content-Transfer-Encoding")
    info = {
        "path": path,
        "content_type": part.get_content_type(),
        "charset": part.get_content_charset(),
        "transfer_encoding": str(transfer_encoding) if transfer_encoding is not None else None,
        "filename": part.get_filename(),
        "content_id": str(part["Content-ID"]) if part["Content-ID"] is not None else None,
        "disposition": part.get_content_disposition(),
        "defects": defect_names(part),
    }
    info.update(digest(payload))
    if part.get_content_maintype() == "text":
        info["text"] = decoded_text(part)
    return info


def leaves(part, path):
    if not part.is_multipart():
        return [describe_leaf(part, path)]
    found = []
    for index, child in enumerate(part.iter_parts(), start=1):
        found += leaves(child, f"{path}.{index}" if path else str(index))
    return found


def structure(part):
    if part.is_multipart():
        return part.get_content_type() + "(" + ",".join(structure(child) for child in part.iter_parts()) + ")"
    return part.get_content_type() + "".join(";" + str(v) for v in (part.get_content_disposition(), part["Content-ID"]) if v)


def uu_line_without_pad_marks(line):
    # Some encoders end a short last group with "=" or "==" in place of the
    # characters that carry no data, which a2b_uu takes for data.
    if not line:
        return line
    count = (line[0] - 32) & 63
    data_chars = count // 3 * 4 + (count % 3 + 1 if count % 3 else 0)
    return line[:1 + data_chars].ljust(1 + (count + 2) // 3 * 4, b"`")


def uuencoded_blocks(message):
    blocks = []
    for part in message.walk():
        if part.is_multipart() or part.get_content_maintype() != "text":
            continue
        lines = (part.get_payload(decode=True) or b"").splitlines()
        index = 0
        while index < len(lines):
            words = lines[index].split(b" ", 2)
            index += 1
            if len(words) != 3 or words[0] != b"begin":
                continue
            data, error = b"", None
            while index < len(lines) and lines[index] != b"end":
                try:
                    data += binascii.a2b_uu(uu_line_without_pad_marks(lines[index]))
                except binascii.Error as problem:
                    error = error or f"line {index + 1}: {problem}"
                index += 1
            if index == len(lines):
                error = error or "no end line"
            index += 1
            block = {"name": words[2].decode("latin-1"), "mode": words[1].decode("latin-1"), "error": error}
            block.update(digest(data))
            blocks.append(block)
    return blocks


def inspect(raw):
    message = BytesParser(policy=policy.default).parsebytes(raw)
    headers, addresses = {}, {}
    for name, value in message.items():
        headers.setdefault(name.lower(), []).append(str(value))
    for name in ADDRESS_HEADERS:
        value = message[name]
        if value is not None and hasattr(value, "addresses"):
            addresses[name] = [{"display_name": a.display_name, "address": a.addr_spec} for a in value.addresses]
    date = message["Date"]
    return {
        "headers": headers,
        "header_order": list(message.keys()),
        "addresses": addresses,
        "date": date.datetime.isoformat() if date is not None and getattr(date, "datetime", None) else None,
        "content_type": message.get_content_type(),
        "boundary": message.get_boundary(),
        "is_multipart": message.is_multipart(),
        "preamble": message.preamble,
        "defects": defect_names(message),
        "structure": structure(message),
        "header_defects": {name.lower(): defect_names(value) for name, value in message.items() if value.defects},
        "repeated_headers": sorted({name.lower() for name in message.keys() if len(message.get_all(name)) > 1}),
        "parts": leaves(message, ""),
        "uuencoded": uuencoded_blocks(message),
    }


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: mime_report.py FILE|-")
    if sys.argv[1] == "-":
        raw = sys.stdin.buffer.read()
    else:
        with open(sys.argv[1], "rb") as source:
            raw = source.read()
    sys.stdout.buffer.write(json.dumps(inspect(raw), ensure_ascii=False, indent=1).encode("utf-8"))


if __name__ == "__main__":
    main()
