"""Training text from a Debian documentation package, shared by the
recognition models' generators: the package fetched once into a cache with
`apt-get download`, checked by its SHA-256, and its HTML pages read as text.
Standard library only, plus dpkg-deb.
"""

import hashlib
import html
import io
import os
import re
import subprocess
import sys
import tarfile


def cache_dir():
    base = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    return os.path.join(base, "kotran")


def fetch(package, version):
    """The package file, downloaded once into the cache."""
    directory = cache_dir()
    os.makedirs(directory, exist_ok=True)
    # apt-get download writes an epoch's colon as %3a.
    path = os.path.join(directory, f"{package}_{version}_all.deb".replace(":", "%3a"))
    if not os.path.exists(path):
        subprocess.run(["apt-get", "download", f"{package}={version}"], cwd=directory, check=True,
                       stdout=subprocess.DEVNULL)
    return path


def members(deb, sha256):
    """(name, bytes) of each file the package holds, in name order, after its SHA-256 is checked."""
    data = open(deb, "rb").read()
    digest = hashlib.sha256(data).hexdigest()
    if digest != sha256:
        sys.exit(f"{deb}: SHA-256 {digest}, expected {sha256}")
    tar = subprocess.run(["dpkg-deb", "--fsys-tarfile", deb], check=True, stdout=subprocess.PIPE).stdout
    with tarfile.open(fileobj=io.BytesIO(tar)) as archive:
        for member in sorted(archive.getmembers(), key=lambda m: m.name):
            if member.isfile():
                yield member.name, archive.extractfile(member).read()


def html_pages(deb, sha256):
    """The text of the package's HTML pages, one string a page, in name order, markup dropped."""
    pages = []
    for name, data in members(deb, sha256):
        if not name.endswith(".html"):
            continue
        text = data.decode("utf-8", errors="replace")
        text = re.sub(r"(?s)<(script|style).*?</\1>", "", text)
        text = html.unescape(re.sub(r"<[^>]+>", " ", text))
        pages.append(re.sub(r"[ \t]+", " ", text))
    return pages
