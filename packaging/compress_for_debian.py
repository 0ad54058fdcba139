#!/usr/bin/env python3
"""Compresses a changelog or a manual page as Debian's packages carry them:
gzip at maximum compression, without the file's name or a time stamp, so
that the same text always gives the same bytes.

    compress_for_debian.py INPUT OUTPUT.gz
"""
import gzip
import sys
from pathlib import Path


def main():
    source, target = Path(sys.argv[1]), Path(sys.argv[2])
    target.write_bytes(gzip.compress(source.read_bytes(), compresslevel=9, mtime=0))


if __name__ == "__main__":
    main()
