"""licence_carry_test.py --otpa OTPA --corpus DIR [--corpus DIR ...]

A customer's License Description texts of another length than the maker's,
on every pair of the corpora: each old font as a customer has it, with its
texts longer, shorter or of the same length (both classic records, and each
alone, where the font has them), is rebuilt by `otpa apply` into the new
font with the customer's texts carried: into its classic records cut or
padded to their lengths (classic difference files), or into the records of
the same platform, encoding and language with the name table written anew
around them (extended ones); every other byte is the new font's. Classic
difference files written as the maker wrote them before, with name tables
copied from the old one by position (a fine-grained parse, and simple_diff's
prefix and suffix), are refused (status 1, nothing written) or give that
same font, never another; with texts of the maker's lengths they give it."""

import argparse
import difflib
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import pa_check  # noqa: E402
import pa_format  # noqa: E402
import sfnt  # noqa: E402
import simple_diff  # noqa: E402

SUFFIX = " No. 12"
LENGTHS = ("longer", "shorter", "same")
RECORDS = {"both": (sfnt.MAC_LICENCE, sfnt.WINDOWS_LICENCE), "mac": (sfnt.MAC_LICENCE,),
           "win": (sfnt.WINDOWS_LICENCE,)}


def customer_text(text, key, length):
    unit = 2 if key == sfnt.WINDOWS_LICENCE else 1
    suffix = SUFFIX.encode("utf-16-be" if unit == 2 else "latin-1")
    cut = text[:len(text) - len(suffix)]
    return {"longer": text + suffix, "shorter": cut, "same": cut + suffix}[length]


def fine_name_block(old_name, new_name):
    """The name block of a difference file made before the name table went in
    as literal bytes: every stretch of 12 or more bytes that the old name
    table holds is copied from where it lies there."""
    copies, inserts, covered = [], [], 0
    matcher = difflib.SequenceMatcher(None, old_name, new_name, autojunk=False)
    for source, destination, length in matcher.get_matching_blocks():
        if length < 12 and destination + length < len(new_name):
            continue
        if destination > covered:
            inserts.append((covered, new_name[covered:destination]))
        if length:
            copies.append((source, length, destination))
        covered = destination + length
    return pa_format.encode_block(copies, inserts)


def prefix_suffix_block(old_name, new_name):
    return simple_diff.table_block(old_name, new_name)


def with_name_block(pa, old_font, new_font, make_block):
    """The difference file `pa` with its name block made by `make_block`."""
    _, _, records = pa_check.check(pa)
    count = len(records)
    old_name = sfnt.required_table(sfnt.read_tables(old_font), b"name").data
    new_name = sfnt.required_table(sfnt.read_tables(new_font), b"name").data
    starts = sorted(r.block for r in records if r.block) + [len(pa)]
    blocks = []
    for record in records:
        if record.tag == b"name" and record.block:
            blocks.append(make_block(old_name, new_name))
        elif record.block:
            blocks.append(pa[record.block:starts[starts.index(record.block) + 1]])
        else:
            blocks.append(b"")
    out = bytearray(pa[:pa_format.HEADER.size])
    at = pa_format.HEADER.size + pa_format.RECORD.size * count
    for record, block in zip(records, blocks):
        out += pa_format.RECORD.pack(record.tag, record.index, record.order, at if block else 0,
                                     record.length, record.offset)
        at += len(block)
    return bytes(out) + b"".join(blocks)


def apply(otpa, work, old, pa):
    old_path, pa_path, out_path = (os.path.join(work, n) for n in ("customer.otf", "diff.pa", "out.otf"))
    for path, data in ((old_path, old), (pa_path, pa)):
        with open(path, "wb") as f:
            f.write(data)
    if os.path.exists(out_path):
        os.remove(out_path)
    code = subprocess.run([otpa, "apply", old_path, pa_path, "-o", out_path], stdout=subprocess.DEVNULL).returncode
    if not os.path.exists(out_path):
        return code, None
    with open(out_path, "rb") as f:
        return code, f.read()


def what(out, expected):
    return "no font" if out is None else "the expected font" if out == expected else "another font"


def corpus_pairs(folders):
    """(name, old path, new path) of every pair of the corpora."""
    pairs = []
    for folder in folders:
        for pair in sorted(os.listdir(folder)):
            for extension in ("otf", "ttf"):
                old = os.path.join(folder, pair, "old." + extension)
                if os.path.isfile(old):
                    pairs.append((pair, old, os.path.join(folder, pair, "new." + extension)))
    return pairs


def installed_licences(font):
    """(platform, encoding, language) -> text of the first name ID 13 record of each key."""
    records = {}
    for fields in sfnt.name_records(sfnt.required_table(sfnt.read_tables(font), b"name").data):
        if fields[3] == 13:
            records.setdefault(fields[:3], fields[4])
    return records


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--otpa", required=True)
    parser.add_argument("--corpus", required=True, action="append")
    args = parser.parse_args()

    failures = []
    refused = rebuilt = 0
    pairs = corpus_pairs(args.corpus)
    with tempfile.TemporaryDirectory() as work:
        for pair, old_path, new_path in pairs:
            with open(old_path, "rb") as f:
                old = f.read()
            with open(new_path, "rb") as f:
                new = f.read()
            pa_path = os.path.join(work, "made.pa")
            subprocess.run([args.otpa, "make", old_path, new_path, "-o", pa_path],
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            with open(pa_path, "rb") as f:
                made = f.read()
            extended = made[:4] == pa_format.EXT_MAGIC
            # Classic files as the maker wrote them before.
            before = {} if extended else {"fine copies": with_name_block(made, old, new, fine_name_block),
                                          "prefix and suffix": with_name_block(made, old, new, prefix_suffix_block)}
            maker_texts = {key: text for key, text in zip((sfnt.MAC_LICENCE, sfnt.WINDOWS_LICENCE),
                                                          sfnt.licence_texts(old)) if text is not None}
            for length in LENGTHS:
                for which, keys in RECORDS.items():
                    if not all(key in maker_texts for key in keys):
                        continue
                    case = f"{pair} {length} {which}"
                    texts = dict(maker_texts)
                    texts.update({key: customer_text(maker_texts[key], key, length) for key in keys})
                    customer = sfnt.with_licence_texts(old, texts)
                    if extended:
                        expected = sfnt.carried_records(new, installed_licences(customer))
                    else:
                        expected = sfnt.carried(new, texts[sfnt.MAC_LICENCE], texts[sfnt.WINDOWS_LICENCE])
                    code, out = apply(args.otpa, work, customer, made)
                    if code != 0 or out != expected:
                        failures.append(f"{case}: the made file gave status {code} and {what(out, expected)}")
                    for rule, pa in before.items():
                        code, out = apply(args.otpa, work, customer, pa)
                        if out == expected and code == 0:
                            rebuilt += 1
                        elif code == 1 and out is None:
                            refused += 1
                            if length == "same":
                                failures.append(f"{case}: texts of the maker's lengths refused ({rule})")
                        else:
                            failures.append(f"{case}: a file with {rule} gave status {code} and {what(out, expected)}")
    for failure in failures:
        print("FAIL", failure)
    print(f"{len(pairs)} pairs; files with copies: {rebuilt} rebuilt, {refused} refused; "
          f"{len(failures)} failures")
    return 1 if failures or not pairs else 0


if __name__ == "__main__":
    sys.exit(main())
